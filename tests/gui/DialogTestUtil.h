#pragma once
// Shared by the tests of the login dialog, the about box and the upgrade window: a language table of
// its own for each test, and the check that no caption is cut off.

#include "lang/LangList.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

// The built-in table in the language asked for; freed at the end of the test.
struct TLangScope {
    explicit TLangScope(bool chinese)
    {
        delete LangList;
        LangList = new TLangList;
        FillDefaultTable();
        LangList->IsChinese = chinese;
    }
    ~TLangScope() { FreeLanguage(); }
    TLangScope(const TLangScope &) = delete;
    TLangScope &operator=(const TLangScope &) = delete;

    // Loads a Lang.txt with these lines (UTF-8) over the built-in table.
    void LoadLangFile(const QByteArray &lines)
    {
        const QString path = Dir.filePath(QStringLiteral("Lang.txt"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lines);
        f.close();
        LangList->LoadFromFile(path);
    }

    QTemporaryDir Dir;
};

// Names of the labels, buttons and group boxes under root whose text does not fit the room the
// layout gave them, joined by blanks.
inline std::string ClippedControls(QWidget *root)
{
    QStringList clipped;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(root))
            continue;
        bool cut = false;
        if (auto *l = qobject_cast<QLabel *>(w)) {
            if (l->pixmap().isNull())
                cut = l->wordWrap() ? l->heightForWidth(l->width()) > l->height()
                                    : l->sizeHint().width() > l->width() || l->sizeHint().height() > l->height();
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            // The style's least width for a push button is no clipping; the text and its margins are.
            cut = b->fontMetrics().horizontalAdvance(b->text()) + 8 > b->width();
        } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
            cut = g->minimumSizeHint().width() > g->width();
        }
        if (cut)
            clipped << w->objectName();
    }
    return clipped.join(u' ').toStdString();
}
