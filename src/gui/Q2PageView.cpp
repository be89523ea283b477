#include "gui/Q2PageView.h"

#include "gui/TextTable.h"
#include "netconfig/Q2Page.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {
// Pixels per wheel notch.
constexpr int ScrollLine = 20;
} // namespace

TQ2PageView::TQ2PageView(TQ2Page &model, QWidget *parent) : TPageView(parent), FModel(model)
{
    setObjectName(QStringLiteral("Q2PageView"));
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(4);

    FScroll = new QScrollArea(this);
    FScroll->setObjectName(QStringLiteral("ScrollBox1"));
    FScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FScroll->setWidgetResizable(true);
    FScroll->setFrameShape(QFrame::NoFrame);
    FStack = new QWidget;
    FStack->setObjectName(QStringLiteral("ScrollBox1Content"));
    auto *stack = new QVBoxLayout(FStack);
    stack->setContentsMargins(4, 4, 4, 4);
    stack->setSpacing(6);
    // Hidden groups take no space: the layout skips them.
    for (QGroupBox *g : {buildBase(), buildPort(), buildHeart(), buildRegister(), buildModbusNew(), buildModbusPack(),
                         buildModbus(), buildHttpd()})
        stack->addWidget(g);
    stack->addStretch(1);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("RzGroupBoxHeart")), &FModel.RzGroupBoxHeart);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("rzgrpbxRegHeart")), &FModel.rzgrpbxRegHeart);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("rzgrpbxModbusNew")), &FModel.rzgrpbxModbusNew);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("RzGroupBox1")), &FModel.RzGroupBox1);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("rzgrpbxModbus")), &FModel.rzgrpbxModbus);
    FBind.Group(FStack->findChild<QGroupBox *>(QStringLiteral("RzGroupBoxHttpd")), &FModel.RzGroupBoxHttpd);
    FScroll->setWidget(FStack);
    FScroll->verticalScrollBar()->setSingleStep(ScrollLine);
    page->addWidget(FScroll, 1);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(4, 0, 4, 4);
    bar->addStretch();
    FApplySelected = new QPushButton(QStringLiteral("Apply to Selected"), this);
    FApplySelected->setObjectName(QStringLiteral("btn_ApplySelected"));
    FApplySelected->setEnabled(false);
    bar->addWidget(FApplySelected);
    FComSet = new QPushButton(QStringLiteral("Save Config"), this);
    FComSet->setObjectName(QStringLiteral("btn_Q2ComSet"));
    FNetSet = new QPushButton(QStringLiteral("Save Config"), this);
    FNetSet->setObjectName(QStringLiteral("btn_Q2NetSet"));
    for (QPushButton *b : {FComSet, FNetSet}) {
        b->setMinimumWidth(110);
        bar->addWidget(b);
    }
    FComSet->hide(); // the LAN tab is the first one
    page->addLayout(bar);
    connect(FNetSet, &QPushButton::clicked, this, &TQ2PageView::SaveNetClicked);
    connect(FComSet, &QPushButton::clicked, this, &TQ2PageView::SaveComClicked);

    ShowModel();
    ApplyTextRows(this, MainTextRows);
    AfterTextsApplied();
    qApp->installEventFilter(this);
}

TQ2PageView::~TQ2PageView()
{
    if (QCoreApplication *app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TQ2PageView::AfterTextsApplied()
{
    FModel.ModbusTypeChange();
    FModel.ModbusEnable1Change();
    AlignLabelColumns(FStack);
    ShowModel();
}

void TQ2PageView::SetComTab(bool com)
{
    FComSet->setVisible(com);
    FNetSet->setVisible(!com);
    FApplySelected->setVisible(!com);
    FModel.SetLanTab(!com);
    ShowModel();
}

void TQ2PageView::RestackFromTop()
{
    AfterShow();
    FScroll->verticalScrollBar()->setValue(0);
}

void TQ2PageView::AfterShow()
{
    // Groups may have appeared or gone: stack them again from the top.
    if (QLayout *l = FStack->layout()) {
        l->invalidate();
        l->activate();
    }
}

bool TQ2PageView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || !FScroll->isVisible()) return false;
    // Only wheel turns inside this window: an open drop-down list or another window in front of
    // the page scrolls itself.
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != FScroll->window()) return false;
    auto *wheel = static_cast<QWheelEvent *>(event);
    const int delta = wheel->angleDelta().y();
    if (delta == 0) return false;
    const QRect area(FScroll->mapToGlobal(QPoint(0, 0)), FScroll->size());
    if (!area.contains(wheel->globalPosition().toPoint())) return false;
    FScroll->verticalScrollBar()->triggerAction(delta > 0 ? QAbstractSlider::SliderSingleStepSub
                                                          : QAbstractSlider::SliderSingleStepAdd);
    return true;
}
