#pragma once
// The about box: the tool's name and version, a word about its maker and a link to the maker's site.

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

class TFrm_About : public QDialog {
    Q_OBJECT
public:
    explicit TFrm_About(QWidget *parent = nullptr);

    // From the menu: brought to the front when already on screen, otherwise shown modally.
    void OpenFromMenu();
    // The captions in the current language; the version label is the box's own and stays.
    void ApplyAboutTexts();

    // Opens the web-site label's own text, as an address, with the desktop's default handler.
    void lbl_About_WebsiteClick();
    void btn_About_YesClick();

    // Where addresses go; tests replace it. The default is QDesktopServices::openUrl.
    std::function<void(const QUrl &)> OpenUrl;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *lbl_About_Website;
    QLabel *lbl_version;
};
