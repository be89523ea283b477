#include "gui/Frm_About.h"

#include "core/Version.h"
#include "gui/Accessibility.h"
#include "gui/AppLook.h"
#include "gui/TextTable.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QSize DesignSize(473, 215);
const QSize PictureSize(160, 136);

QLabel *label(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

TFrm_About::TFrm_About(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(AppIcon());
    OpenUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };

    auto *img_About = label(this, "img_About");
    img_About->setPixmap(Picture(QStringLiteral("product"), PictureSize));
    img_About->setFixedSize(PictureSize);

    auto *lbl_SoftName = label(this, "lbl_SoftName");
    QFont bold = lbl_SoftName->font();
    bold.setBold(true);
    lbl_SoftName->setFont(bold);
    auto *lbl_About_version = label(this, "lbl_About_version");
    lbl_version = label(this, "lbl_version");
    auto *lbl_Aboutl_Description = label(this, "lbl_Aboutl_Description");
    lbl_Aboutl_Description->setWordWrap(true);
    auto *Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    auto *lbl_About_Contact = label(this, "lbl_About_Contact");

    lbl_About_Website = label(this, "lbl_About_Website");
    QPalette link = lbl_About_Website->palette();
    link.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lbl_About_Website->setPalette(link);
    QFont underlined = lbl_About_Website->font();
    underlined.setUnderline(true);
    lbl_About_Website->setFont(underlined);
    lbl_About_Website->setCursor(Qt::PointingHandCursor);
    lbl_About_Website->installEventFilter(this);

    auto *lbl_About_Tel = label(this, "lbl_About_Tel");
    auto *lbl_About_Email = label(this, "lbl_About_Email");

    auto *btn_About_Yes = new QPushButton(this);
    btn_About_Yes->setObjectName(QStringLiteral("btn_About_Yes"));
    btn_About_Yes->setDefault(true);
    btn_About_Yes->setMinimumWidth(90);
    connect(btn_About_Yes, &QPushButton::clicked, this, &TFrm_About::btn_About_YesClick);

    auto *version = new QHBoxLayout;
    version->setSpacing(0);
    version->addWidget(lbl_About_version);
    version->addWidget(lbl_version);
    version->addStretch(1);

    auto *contact = new QHBoxLayout;
    contact->setSpacing(8);
    contact->addWidget(lbl_About_Contact);
    contact->addWidget(lbl_About_Website);
    contact->addStretch(1);

    auto *reach = new QHBoxLayout;
    reach->setSpacing(8);
    reach->addWidget(lbl_About_Tel);
    reach->addWidget(lbl_About_Email);
    reach->addStretch(1);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(lbl_SoftName);
    texts->addLayout(version);
    texts->addWidget(lbl_Aboutl_Description);
    texts->addStretch(1);
    texts->addWidget(Bevel1);
    texts->addLayout(contact);
    texts->addLayout(reach);

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(img_About, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_About_Yes);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->addLayout(top, 1);
    root->addLayout(buttons);

    ApplyAboutTexts();
    lbl_version->setText(QStringLiteral(" V") + GetAppVersion());
    FitFixedSize(this, DesignSize);
}

void TFrm_About::ApplyAboutTexts()
{
    ApplyTextRows(this, AboutTextRows);
    FitFixedSize(this, DesignSize);
    ApplyAccessibleNames(this);
}

void TFrm_About::OpenFromMenu()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    exec();
}

void TFrm_About::lbl_About_WebsiteClick()
{
    // The text comes from the language table or Lang.txt; an address typed there without a scheme
    // still opens as a web address.
    const QString text = lbl_About_Website->text().trimmed();
    if (text.isEmpty() || !OpenUrl)
        return;
    OpenUrl(QUrl::fromUserInput(text));
}

void TFrm_About::btn_About_YesClick() { accept(); }

bool TFrm_About::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbl_About_Website && event->type() == QEvent::MouseButtonRelease) {
        auto *m = static_cast<QMouseEvent *>(event);
        if (m->button() == Qt::LeftButton && lbl_About_Website->rect().contains(m->position().toPoint())) {
            lbl_About_WebsiteClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
