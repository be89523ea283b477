#include "gui/AppLook.h"

#include <QLayout>
#include <QWidget>
#include <algorithm>

// Outside any namespace, as Q_INIT_RESOURCE wants. The resources sit in a static library, whose
// registration object nothing else would pull into the program.
static void initPictures() { Q_INIT_RESOURCE(Pictures); }

namespace {

void ensurePictures()
{
    static const bool done = (initPictures(), true);
    (void)done;
}

} // namespace

QIcon AppIcon()
{
    ensurePictures();
    QIcon icon;
    for (const char *name : {"bexo-z0-16", "bexo-z0-32", "bexo-z0-48", "bexo-z0"})
        icon.addFile(QStringLiteral(":/pictures/%1.png").arg(QLatin1String(name)));
    return icon;
}

QPixmap Picture(const QString &name, QSize size)
{
    ensurePictures();
    // QIcon picks the @2x file on screens that want it.
    return QIcon(QStringLiteral(":/pictures/%1.png").arg(name)).pixmap(size);
}

void FitFixedSize(QWidget *window, QSize design)
{
    QLayout *layout = window->layout();
    if (!layout) {
        window->setFixedSize(design);
        return;
    }
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout->invalidate();
    layout->activate();
    const QSize least = layout->totalMinimumSize();
    const int width = std::max(design.width(), least.width());
    const int wanted = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                   : layout->totalSizeHint().height();
    const int height = std::max({design.height(), least.height(), wanted});
    window->setFixedSize(width, height);
}
