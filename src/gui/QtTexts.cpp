#include "gui/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace {
// Loaded once, kept for the run: switching back and forth only installs and removes them.
std::unique_ptr<QTranslator> Chinese;
bool Tried = false;
bool Installed = false;
} // namespace

bool ApplyQtTexts(bool chinese)
{
    if (!chinese) {
        if (Installed && Chinese)
            QCoreApplication::removeTranslator(Chinese.get());
        Installed = false;
        return true;
    }
    if (!Tried) {
        Tried = true;
        auto t = std::make_unique<QTranslator>();
        // qt_zh_CN.qm names the translations of every Qt module (qtbase, qtserialport, ...).
        if (t->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            Chinese = std::move(t);
    }
    if (!Chinese)
        return false;
    if (!Installed)
        Installed = QCoreApplication::installTranslator(Chinese.get());
    return Installed;
}
