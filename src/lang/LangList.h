#pragma once
// The language table: built-in entries, overridden entry by entry from Lang.txt.

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class TLangList {
public:
    static constexpr qint64 LangFileMaxBytes = 4 * 1024 * 1024; // the built-in table is about 20 KiB

    QString LangFile;        // the file last written or read
    QStringList FileNames;   // keys read from Lang.txt
    QStringList FileChinese;
    QStringList FileEnglish;
    QStringList Names;       // built-in keys
    QStringList Chinese;
    QStringList English;
    bool IsChinese = false;

    void Add(const QString &name, const QString &chineseText, const QString &englishText);
    // Writes the file from the built-in entries when it does not exist, then reads it.
    void LoadFromFile(const QString &fileName);
    // Key, Chinese text or English text (ASCII case-insensitive, first match) -> the text of that
    // entry in the selected language; the file table first. Unknown: the key itself.
    QString GetText(const QString &key) const;
    // Returns false when the file could not be written (WriteError then says why); no file, or the
    // old one, is left then, so the next start tries again.
    bool WriteDefaultFile(const QString &fileName);
    QString WriteError; // of the last WriteDefaultFile, empty after a good one
    // Reads entries up to the first error; never reports. Only a regular file of at most
    // LangFileMaxBytes is read.
    void ReadLangFile(const QString &fileName);
    // Splits a whole file image into entries (the reader's rules, also used by the fuzz target).
    void ReadLangImage(const QByteArray &image);

    static bool IsChineseSystem();
    // Tests replace the system's language name; an empty function restores the real one.
    static void SetSystemLanguageNameHook(std::function<QString()> hook);

private:
    // First index of each ASCII-lowercased string, per list; rebuilt after the lists change.
    struct Index {
        QHash<QString, int> byName, byChinese, byEnglish;
    };
    mutable Index FFileIndex, FBuiltinIndex;
    mutable bool FIndexValid = false;
    void buildIndex() const;
};

extern TLangList *LangList;

// Adds the built-in entries to LangList, in table order.
void FillDefaultTable();
// Creates LangList, fills the built-in table and loads Lang.txt (LangFilePath).
void InitLanguage();
void InitLanguage(const QString &langFileName);
// GetText of LangList; never raises: any failure, LangList missing included, returns the key.
QString GetLangText(const QString &key);
void FreeLanguage();
