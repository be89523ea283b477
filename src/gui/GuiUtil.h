#pragma once
// Small widget helpers shared by the main window's regions.

#include <QTabBar>

class QAbstractScrollArea;

// A tab bar whose tabs all take one given width, so that the tabs share the row evenly.
class TFixedTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TFixedTabBar(QWidget *parent = nullptr) : QTabBar(parent) {}
    // 0 gives the tabs their natural width again.
    void SetTabWidth(int width);
    int TabWidth() const { return FTabWidth; }

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;

private:
    int FTabWidth = 0;
};

// The area takes the keyboard focus as soon as the mouse moves over it, so the wheel and the keys
// reach it without a click.
void InstallHoverFocus(QAbstractScrollArea *area);
