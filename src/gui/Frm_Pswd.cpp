#include "gui/Frm_Pswd.h"

#include "core/Public.h"
#include "gui/Accessibility.h"
#include "gui/AppLook.h"
#include "gui/TextTable.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QSize DesignSize(322, 145);
constexpr int FieldLength = 5; // what the modules keep of a user name or password
const QSize IconSize(24, 24);

QLabel *icon(QWidget *parent, const char *name, const QString &picture)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setPixmap(Picture(picture, IconSize));
    l->setFixedSize(IconSize);
    return l;
}

} // namespace

TFrm_Pswd::TFrm_Pswd(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Pswd"));
    // No system buttons: OK or Cancel (or Esc, the same as Cancel) closes it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowIcon(AppIcon());

    // The white band across the top carries the two fields.
    auto *img3 = new QFrame(this);
    img3->setObjectName(QStringLiteral("img3"));
    img3->setAutoFillBackground(true);
    QPalette band = img3->palette();
    band.setColor(QPalette::Window, Qt::white);
    img3->setPalette(band);

    edt_UsrName = new QLineEdit(img3);
    edt_UsrName->setObjectName(QStringLiteral("edt_UsrName"));
    edt_UsrName->setMaxLength(FieldLength);
    edt_Paswd = new QLineEdit(img3);
    edt_Paswd->setObjectName(QStringLiteral("edt_Paswd"));
    edt_Paswd->setMaxLength(FieldLength);
    edt_Paswd->setEchoMode(QLineEdit::Password);
    // Asterisks, whatever the style would draw otherwise.
    edt_Paswd->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    auto *fields = new QGridLayout(img3);
    fields->setContentsMargins(48, 14, 48, 14);
    fields->setHorizontalSpacing(10);
    fields->setVerticalSpacing(10);
    fields->addWidget(icon(img3, "img1", QStringLiteral("user")), 0, 0);
    fields->addWidget(edt_UsrName, 0, 1);
    fields->addWidget(icon(img3, "img2", QStringLiteral("lock")), 1, 0);
    fields->addWidget(edt_Paswd, 1, 1);
    fields->setColumnStretch(1, 1);

    btn_OK = new QPushButton(this);
    btn_OK->setObjectName(QStringLiteral("btn_OK"));
    btn_OK->setDefault(true);
    btn_Cancel = new QPushButton(this);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
    connect(btn_OK, &QPushButton::clicked, this, &TFrm_Pswd::btn_OKClick);
    connect(btn_Cancel, &QPushButton::clicked, this, &TFrm_Pswd::btn_CancelClick);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 0, 12, 0);
    buttons->addStretch(1);
    buttons->addWidget(btn_OK);
    buttons->addSpacing(16);
    buttons->addWidget(btn_Cancel);
    buttons->addStretch(1);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 10);
    root->setSpacing(10);
    root->addWidget(img3, 1);
    root->addLayout(buttons);

    FillLoginEdits();
    ApplyPswdTexts();
}

void TFrm_Pswd::FillLoginEdits()
{
    edt_UsrName->setText(LoginName);
    edt_Paswd->setText(LoginPswd);
}

void TFrm_Pswd::ApplyPswdTexts()
{
    ApplyTextRows(this, PswdTextRows);
    FitFixedSize(this, DesignSize);
    ApplyAccessibleNames(this);
}

void TFrm_Pswd::OpenFromMenu()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    edt_UsrName->setFocus();
    exec();
}

void TFrm_Pswd::btn_OKClick()
{
    LoginName = edt_UsrName->text();
    LoginPswd = edt_Paswd->text();
    accept();
}

void TFrm_Pswd::btn_CancelClick() { reject(); }
