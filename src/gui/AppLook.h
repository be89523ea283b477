#pragma once
// What the windows share in their look: the program's icon, the pictures compiled in, and the
// fixed-size rule (the design size, grown only as far as the texts of the language need).

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;

// The program's icon, every size we render (src/gui/resources/bexo-z0.svg).
QIcon AppIcon();
// A picture of src/gui/resources by its name ("product", "user", "lock") at the size given, sharp on
// screens of any pixel ratio.
QPixmap Picture(const QString &name, QSize size);
// Makes the window a fixed size: the design size, or larger where the texts need more room.
void FitFixedSize(QWidget *window, QSize design);
