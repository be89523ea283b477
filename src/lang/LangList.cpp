#include "lang/LangList.h"

#include "core/AppPaths.h"
#include "core/Gbk.h"
#include "core/SafeFile.h"
#include "lang/DefaultLang.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

TLangList *LangList = nullptr;

namespace {

std::function<QString()> &languageNameHook()
{
    static std::function<QString()> hook;
    return hook;
}

// Keys and English texts are ASCII; only ASCII letters fold, as the lookup promises.
QString asciiLower(const QString &s)
{
    QString out = s;
    for (QChar &c : out)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    return out;
}

int lookup(const QHash<QString, int> &index, const QString &key)
{
    const auto it = index.constFind(key);
    return it == index.constEnd() ? -1 : it.value();
}

QByteArray withSlashes(const QString &text)
{
    QByteArray b = ToGbk(text);
    b.replace("\r\n", "///");
    return b;
}

} // namespace

void TLangList::Add(const QString &name, const QString &chineseText, const QString &englishText)
{
    Names << name;
    Chinese << chineseText;
    English << englishText;
    FIndexValid = false;
}

void TLangList::buildIndex() const
{
    // QHash::insert keeps the last duplicate; insert from the end so the first one wins.
    const auto build = [](const QStringList &list, QHash<QString, int> &index) {
        index.clear();
        index.reserve(list.size());
        for (int i = int(list.size()) - 1; i >= 0; --i)
            index.insert(asciiLower(list[i]), i);
    };
    build(FileNames, FFileIndex.byName);
    build(FileChinese, FFileIndex.byChinese);
    build(FileEnglish, FFileIndex.byEnglish);
    build(Names, FBuiltinIndex.byName);
    build(Chinese, FBuiltinIndex.byChinese);
    build(English, FBuiltinIndex.byEnglish);
    FIndexValid = true;
}

QString TLangList::GetText(const QString &key) const
{
    if (!FIndexValid)
        buildIndex();
    const QString k = asciiLower(key);
    int a = lookup(FFileIndex.byName, k);
    if (a < 0)
        a = lookup(FFileIndex.byChinese, k);
    if (a < 0)
        a = lookup(FFileIndex.byEnglish, k);
    if (a >= 0)
        return IsChinese ? FileChinese[a] : FileEnglish[a];
    int b = lookup(FBuiltinIndex.byName, k);
    if (b < 0)
        b = lookup(FBuiltinIndex.byChinese, k);
    if (b < 0)
        b = lookup(FBuiltinIndex.byEnglish, k);
    if (b >= 0)
        return IsChinese ? Chinese[b] : English[b];
    return key;
}

void TLangList::LoadFromFile(const QString &fileName)
{
    if (!fileName.isEmpty() && !QFile::exists(fileName))
        WriteDefaultFile(fileName);
    ReadLangFile(fileName);
}

bool TLangList::WriteDefaultFile(const QString &fileName)
{
    LangFile = fileName;
    WriteError.clear();
    QByteArray image;
    image += ToGbk(QStringLiteral(";语言文件格式为: 名称|中文|英文，竖线分割，逗号与分号为注释，///为换行，空行自动忽略")) + "\r\n";
    image += ToGbk(QStringLiteral(";Language file format: Name|Chinese|English，vertical is delimiter， comma or "
                                  "semicolon is Comments，///is newline，Empty lines automatically ignored")) +
             "\r\n";
    image += " \r\n";
    for (int i = 0; i < Names.size(); ++i)
        image += ToGbk(Names[i]) + '|' + withSlashes(Chinese[i]) + '|' + withSlashes(English[i]) + "\r\n";
    // Whole or not at all: a cut-off file would be read, and trusted, at every later start.
    QString reason;
    if (SafeWriteFile(fileName, image, reason))
        return true;
    WriteError = QStringLiteral("Unable to write to %1 (%2)").arg(QFileInfo(fileName).absoluteFilePath(), reason);
    return false;
}

void TLangList::ReadLangFile(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    LangFile = fileName;
    // A pipe or a device in its place would hang the start; the built-in table serves then.
    QByteArray image;
    TFileRefusal refusal = TFileRefusal::None;
    QString why;
    if (!ReadRegularFile(fileName, LangFileMaxBytes, image, refusal, why))
        return;
    ReadLangImage(image);
}

void TLangList::ReadLangImage(const QByteArray &image)
{
    // Files we write are GBK; one a user saved as UTF-8 is read as UTF-8 when all of it is valid.
    const bool utf8 = IsValidUtf8(image);
    const auto decode = [utf8](const QByteArray &b) { return utf8 ? QString::fromUtf8(b) : FromGbk(b); };

    qsizetype pos = 0;
    while (pos < image.size()) {
        qsizetype lf = image.indexOf('\n', pos);
        if (lf < 0)
            lf = image.size();
        QByteArray line = image.mid(pos, lf - pos);
        pos = lf + 1;
        const qsizetype cr = line.indexOf('\r');
        if (cr >= 0)
            line.truncate(cr);
        if (line.isEmpty() || line.at(0) == ';')
            continue;

        const qsizetype first = line.indexOf('|');
        const qsizetype second = first < 0 ? -1 : line.indexOf('|', first + 1);
        const qsizetype last = line.lastIndexOf('|');
        const QByteArray name = first < 0 ? QByteArray() : line.left(first);
        QByteArray chinese = second < 0 ? QByteArray() : line.mid(first + 1, second - first - 1);
        QByteArray english = last < 0 ? QByteArray() : line.mid(last + 1);
        chinese.replace("///", "\n");
        english.replace("///", "\n");
        FileNames << decode(name);
        FileChinese << decode(chinese);
        FileEnglish << decode(english);
    }
    FIndexValid = false;
}

bool TLangList::IsChineseSystem()
{
    const QString name =
        languageNameHook() ? languageNameHook()() : QLocale::system().nativeLanguageName();
    return name.contains(QStringLiteral("中文"));
}

void TLangList::SetSystemLanguageNameHook(std::function<QString()> hook) { languageNameHook() = std::move(hook); }

void FillDefaultTable()
{
    if (!LangList)
        return;
    for (int i = 0; i < DefaultLangCount; ++i) {
        const TLangEntry &e = DefaultLangEntries[i];
        LangList->Add(QString::fromUtf8(e.Name), QString::fromUtf8(e.Chinese), QString::fromUtf8(e.English));
    }
}

void InitLanguage(const QString &langFileName)
{
    delete LangList;
    LangList = new TLangList;
    FillDefaultTable();
    LangList->LoadFromFile(langFileName);
}

void InitLanguage() { InitLanguage(LangFilePath()); }

QString GetLangText(const QString &key)
{
    try {
        if (!LangList)
            return key;
        return LangList->GetText(key);
    } catch (...) {
        return key;
    }
}

void FreeLanguage()
{
    delete LangList;
    LangList = nullptr;
}
