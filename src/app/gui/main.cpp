#include <QApplication>

// Entry point of the desktop program; the main window is wired in by the window's own unit.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return 0;
}
