#pragma once
// Small helpers shared by the widget tests.

#include <QDir>
#include <gtest/gtest.h>
#include <QString>
#include <QWidget>

// Finds a control by objectName or fails the calling test with the name.
template <typename T = QWidget>
T *Ctl(QObject *root, const char *name)
{
    T *c = root->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        ADD_FAILURE() << "no control " << name;
    return c;
}

// Renders a window to build/screenshots/NAME.png, for people to look at; returns the path.
inline QString SaveShot(QWidget *w, const QString &name)
{
    const QString dir = QStringLiteral(BEXO_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    w->grab().save(path);
    return path;
}
