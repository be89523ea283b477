#include "gui/GuiUtil.h"

#include <QAbstractScrollArea>
#include <QEvent>

void TFixedTabBar::SetTabWidth(int width)
{
    if (width == FTabWidth)
        return;
    FTabWidth = qMax(0, width);
    // The tab widget lays its bar out again only when the bar's size hint changes.
    updateGeometry();
    adjustSize();
}

QSize TFixedTabBar::tabSizeHint(int index) const
{
    QSize s = QTabBar::tabSizeHint(index);
    if (FTabWidth > 0)
        s.setWidth(FTabWidth);
    return s;
}

QSize TFixedTabBar::minimumTabSizeHint(int index) const
{
    QSize s = QTabBar::minimumTabSizeHint(index);
    if (FTabWidth > 0)
        s.setWidth(qMin(s.width(), FTabWidth));
    return s;
}

namespace {
class THoverFocus : public QObject {
public:
    THoverFocus(QAbstractScrollArea *area) : QObject(area), FArea(area) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove && !FArea->hasFocus() && FArea->isEnabled())
            FArea->setFocus(Qt::MouseFocusReason);
        return false;
    }

private:
    QAbstractScrollArea *FArea;
};
} // namespace

void InstallHoverFocus(QAbstractScrollArea *area)
{
    area->viewport()->setMouseTracking(true);
    area->viewport()->installEventFilter(new THoverFocus(area));
}
