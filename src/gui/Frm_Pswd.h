#pragma once
// The login dialog: the user name and password sent with every configuration command. It checks
// nothing; the module judges the credentials.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TFrm_Pswd : public QDialog {
    Q_OBJECT
public:
    explicit TFrm_Pswd(QWidget *parent = nullptr);

    // From the menu: brought to the front when already on screen, otherwise shown modally.
    void OpenFromMenu();
    // Title and button captions in the current language; again on every language switch.
    void ApplyPswdTexts();

    // Copies LoginName and LoginPswd into the fields; only at creation, so a later opening shows
    // what was last typed, cancelled or not.
    void FillLoginEdits();
    // OK: both credentials from the fields, empty ones too.
    void btn_OKClick();
    // Cancel: the credentials stay as they were.
    void btn_CancelClick();

private:
    QLineEdit *edt_UsrName;
    QLineEdit *edt_Paswd;
    QPushButton *btn_OK;
    QPushButton *btn_Cancel;
};
