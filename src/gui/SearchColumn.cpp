#include "gui/SearchColumn.h"

#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/GuiUtil.h"
#include "netconfig/DeviceList.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

void TDropDownComboBox::showPopup()
{
    emit DropDown();
    QComboBox::showPopup();
}

void TDropDownComboBox::hidePopup()
{
    QComboBox::hidePopup();
    emit CloseUp();
}

namespace {
QPushButton *makeButton(const char *name, QWidget *parent)
{
    auto *b = new QPushButton(QLatin1String(name), parent);
    b->setObjectName(QLatin1String(name));
    b->setMinimumWidth(100);
    b->setAutoDefault(false);
    return b;
}

// The buttons of both tabs sit at the same place: bottom right.
QHBoxLayout *buttonRow(QPushButton *button)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(button);
    return row;
}
} // namespace

TSearchColumn::TSearchColumn(QWidget *parent) : QTabWidget(parent), FTabs(new TFixedTabBar(this))
{
    setObjectName(QStringLiteral("rzpgcntrl_Srch"));
    setTabBar(FTabs);

    // LAN tab.
    auto *net = new QWidget;
    net->setObjectName(QStringLiteral("rztbsht_Net"));
    lv_Dev = new TDeviceListView(net);
    lbl_SearchRange = new QLabel(QStringLiteral("lbl_SearchRange"), net);
    lbl_SearchRange->setObjectName(QStringLiteral("lbl_SearchRange"));
    edt_SearchRange = new QLineEdit(net);
    edt_SearchRange->setObjectName(QStringLiteral("edt_SearchRange"));
    lbl_SearchRange->setBuddy(edt_SearchRange);
    chk_KeepSearch = new QCheckBox(QStringLiteral("chk_KeepSearch"), net);
    chk_KeepSearch->setObjectName(QStringLiteral("chk_KeepSearch"));
    lbl_KeepSearchCount = new QLabel(QStringLiteral("lbl_KeepSearchCount"), net);
    lbl_KeepSearchCount->setObjectName(QStringLiteral("lbl_KeepSearchCount"));
    edt_KeepSearchCount = new QSpinBox(net);
    edt_KeepSearchCount->setObjectName(QStringLiteral("edt_KeepSearchCount"));
    edt_KeepSearchCount->setRange(0, TDeviceList::MaxRows);
    lbl_KeepSearchCount->setBuddy(edt_KeepSearchCount);
    btn_Search = makeButton("btn_Search", net);

    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(lbl_SearchRange);
    rangeRow->addWidget(edt_SearchRange, 1);
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(chk_KeepSearch);
    searchRow->addWidget(lbl_KeepSearchCount);
    searchRow->addWidget(edt_KeepSearchCount);
    searchRow->addStretch(1);
    searchRow->addWidget(btn_Search);
    auto *netLayout = new QVBoxLayout(net);
    netLayout->setContentsMargins(4, 4, 4, 4);
    netLayout->addWidget(lv_Dev, 1);
    netLayout->addLayout(rangeRow);
    netLayout->addLayout(searchRow);
    addTab(net, QStringLiteral("rztbsht_Net"));

    // COM tab.
    auto *com = new QWidget;
    com->setObjectName(QStringLiteral("rztbsht_Com"));
    lbl_SelectCom = new QLabel(QStringLiteral("lbl_SelectCom"), com);
    lbl_SelectCom->setObjectName(QStringLiteral("lbl_SelectCom"));
    cbb_SelectCom = new TDropDownComboBox(com);
    cbb_SelectCom->setObjectName(QStringLiteral("cbb_SelectCom"));
    lbl1 = new QLabel(QStringLiteral("lbl1"), com);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    cbbSoftBitRate = new QComboBox(com);
    cbbSoftBitRate->setObjectName(QStringLiteral("cbbSoftBitRate"));
    lbl_SelectCom->setBuddy(cbb_SelectCom);
    lbl1->setBuddy(cbbSoftBitRate);
    btn_ComRead = makeButton("btn_ComRead", com);

    // The model radio buttons stay hidden: the serial page works with whatever is checked.
    lblQNum = new QLabel(QStringLiteral("lblQNum"), com);
    lblQNum->setObjectName(QStringLiteral("lblQNum"));
    rbQ1 = new QRadioButton(QStringLiteral("Q1"), com);
    rbQ2 = new QRadioButton(QStringLiteral("Q2"), com);
    rbQ3 = new QRadioButton(QStringLiteral("Q3"), com);
    rbQ1->setObjectName(QStringLiteral("rbQ1"));
    rbQ2->setObjectName(QStringLiteral("rbQ2"));
    rbQ3->setObjectName(QStringLiteral("rbQ3"));
    rbQ2->setChecked(true);
    for (QWidget *w : std::initializer_list<QWidget *>{lblQNum, rbQ1, rbQ2, rbQ3})
        w->hide();

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->addWidget(lbl_SelectCom, 0, 0);
    grid->addWidget(cbb_SelectCom, 0, 1);
    grid->addWidget(lbl1, 1, 0);
    grid->addWidget(cbbSoftBitRate, 1, 1);
    grid->setColumnStretch(1, 1);
    auto *comLayout = new QVBoxLayout(com);
    comLayout->setContentsMargins(8, 12, 4, 4);
    comLayout->addLayout(grid);
    comLayout->addStretch(1);
    comLayout->addLayout(buttonRow(btn_ComRead));
    addTab(com, QStringLiteral("rztbsht_Com"));

    FitWidth();
}

int TSearchColumn::QNum() const
{
    if (rbQ2->isChecked())
        return 2;
    if (rbQ3->isChecked())
        return 3;
    return 1;
}

void TSearchColumn::SetQNum(int value)
{
    (value == 2 ? rbQ2 : value == 3 ? rbQ3 : rbQ1)->setChecked(true);
}

void TSearchColumn::FitWidth()
{
    // A spin box sizes itself for its numbers, not for the text it shows at 0 (which the language
    // table sets after it was laid out): room for the longer of the two.
    const QFontMetrics fm(edt_KeepSearchCount->font());
    const int numbers = fm.horizontalAdvance(QString::number(edt_KeepSearchCount->maximum()));
    const int text = fm.horizontalAdvance(edt_KeepSearchCount->specialValueText());
    edt_KeepSearchCount->setMinimumWidth(0);
    const QString keep = edt_KeepSearchCount->specialValueText();
    edt_KeepSearchCount->setSpecialValueText({});
    const int plain = edt_KeepSearchCount->sizeHint().width();
    edt_KeepSearchCount->setSpecialValueText(keep);
    edt_KeepSearchCount->setMinimumWidth(plain + qMax(0, text - numbers) + 4);

    // The tab bar's own hint follows the tab width set for it, so it does not count here.
    const int tabs = FTabs->TabWidth();
    FTabs->SetTabWidth(0);
    int need = minimumSizeHint().width();
    FTabs->SetTabWidth(tabs);
    // The list shows its columns whole, without a horizontal scroll bar.
    // The result column comes and goes with the results: it scrolls rather than widen the window.
    int columns = 0;
    for (int c = 0; lv_Dev->model() && c < lv_Dev->model()->columnCount(); ++c)
        if (!lv_Dev->isColumnHidden(c) && c != TDeviceListModel::ColResult)
            columns += lv_Dev->columnWidth(c);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int list = columns + 2 * lv_Dev->frameWidth() +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lv_Dev) + 2;
    const QMargins pageMargins = lv_Dev->parentWidget()->layout()->contentsMargins();
    need = qMax(need, list + pageMargins.left() + pageMargins.right() + 2 * frame);
    setFixedWidth(qMax(DesignWidth, need));
}
