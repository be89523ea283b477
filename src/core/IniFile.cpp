#include "core/IniFile.h"

#include "core/Gbk.h"
#include "core/ProFun.h"
#include "core/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

// Trims what the byte-oriented format counts as blanks, not every Unicode space: U+3000 is a
// character of the value.
QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

// The lines of a file image: UTF-8 when the whole image is valid UTF-8 (an editor's byte-order
// mark is dropped), GBK otherwise.
QStringList imageLines(const QByteArray &image, bool &utf8)
{
    QByteArray bytes = image;
    if (bytes.startsWith(Utf8Bom))
        bytes.remove(0, Utf8Bom.size());
    utf8 = IsValidUtf8(bytes);
    const QString text = utf8 ? QString::fromUtf8(bytes) : FromGbk(bytes);
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    return lines;
}

// The image of lines ending in CR LF: GBK when that loses nothing and cannot be taken for UTF-8,
// else UTF-8 (a path like /home/jörg has no GBK form).
QByteArray linesImage(const QStringList &lines)
{
    QString text;
    for (const QString &l : lines)
        text += l + QStringLiteral("\r\n");
    const QByteArray gbk = ToGbk(text);
    bool ascii = true;
    for (char c : gbk)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii || (FitsGbk(text) && !IsValidUtf8(gbk)))
        return gbk;
    return text.toUtf8();
}

// "[name]" -> name, else a null string.
QString sectionName(const QString &line)
{
    const QString t = trimBlanks(line);
    if (t.size() >= 2 && t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        if (close > 0)
            return trimBlanks(t.mid(1, close - 1));
    }
    return QString();
}

bool splitKey(const QString &line, QString &key, QString &value)
{
    const QString t = trimBlanks(line);
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
        return false;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0)
        return false;
    key = trimBlanks(t.left(eq));
    value = trimBlanks(t.mid(eq + 1));
    return true;
}

// A missing file is an empty image; one that is there but cannot be read (a pipe in its place, no
// permission, absurdly large) gives false, so that a write never replaces what it could not read.
bool readImage(const QString &fileName, QByteArray &image, QString &why)
{
    image.clear();
    if (!QFileInfo::exists(fileName))
        return true;
    TFileRefusal refusal = TFileRefusal::None;
    return ReadRegularFile(fileName, TIniFile::MaxFileBytes, image, refusal, why);
}

// A value is cut at MaxValueBytes bytes of the file's encoding, never inside a character.
QString valueText(QString value, bool utf8)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    if (!utf8)
        return value.size() > TIniFile::MaxValueBytes / 2 ? FromGbk(ToGbkCut(value, TIniFile::MaxValueBytes)) : value;
    qsizetype bytes = 0, i = 0;
    while (i < value.size()) {
        const bool pair = value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate();
        const char32_t cp = pair ? QChar::surrogateToUcs4(value[i], value[i + 1]) : value[i].unicode();
        const int width = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (bytes + width > TIniFile::MaxValueBytes)
            break;
        bytes += width;
        i += pair ? 2 : 1;
    }
    value.truncate(i);
    return value;
}

} // namespace

bool TIniFile::ReadImage(QByteArray &image, QString &why) const
{
    if (QFileInfo::exists(FFileName) || FSeedFileName.isEmpty())
        return readImage(FFileName, image, why);
    return readImage(FSeedFileName, image, why);
}

bool TIniFile::FindValue(const QByteArray &image, const QString &section, const QString &key, QString &value)
{
    bool utf8 = false;
    bool inSection = false;
    for (const QString &line : imageLines(image, utf8)) {
        const QString s = sectionName(line);
        if (!s.isNull()) {
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        QString k, v;
        if (splitKey(line, k, v) && k.compare(key, Qt::CaseInsensitive) == 0) {
            value = valueText(v, utf8);
            return true;
        }
    }
    return false;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    QString value;
    QByteArray image;
    QString why;
    if (!ReadImage(image, why) || !FindValue(image, section, key, value))
        return def;
    return value;
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    return IntegerValue(ReadString(section, key, QString()), def);
}

int TIniFile::IntegerValue(const QString &s, int def)
{
    if (s.isEmpty())
        return def;
    if (s.size() > 2 && (s.startsWith(QLatin1String("0x")) || s.startsWith(QLatin1String("0X")))) {
        bool ok = false;
        const qint64 v = s.mid(2).toLongLong(&ok, 16);
        if (!ok || v < 0 || v > 0xFFFFFFFFLL)
            return def;
        return static_cast<int>(static_cast<uint32_t>(v));
    }
    int v = 0;
    return TryStrToInt(s, v) ? v : def;
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    const QString fullPath = QFileInfo(FFileName).absoluteFilePath();
    const auto refuse = [&] { throw EIniFileError(QStringLiteral("Unable to write to %1").arg(fullPath)); };

    const QFileInfo info(FFileName);
    const bool exists = info.exists();
    if (exists && (!info.isFile() || !info.isWritable()))
        refuse();
    // A file not written yet starts from its seed, so that keys only ever set by hand stay.
    bool utf8 = false;
    QByteArray old;
    QString why;
    if (!ReadImage(old, why))
        throw EIniFileError(QStringLiteral("Unable to write to %1").arg(fullPath), why);
    QStringList lines = imageLines(old, utf8);

    const QString entry = key + u'=' + value;
    qsizetype sectionAt = -1, lastKeyAt = -1, keyAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString s = sectionName(lines[i]);
        if (!s.isNull()) {
            if (inSection)
                break; // the first section of that name is the one we use
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionAt = lastKeyAt = i;
            continue;
        }
        if (!inSection)
            continue;
        QString k, v;
        if (splitKey(lines[i], k, v)) {
            lastKeyAt = i;
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                keyAt = i;
                break;
            }
        }
    }
    if (keyAt >= 0)
        lines[keyAt] = entry;
    else if (sectionAt >= 0)
        lines.insert(lastKeyAt + 1, entry);
    else
        lines << u'[' + section + u']' << entry;

    const QByteArray image = linesImage(lines);
    // The file holds the password in plain text: created readable by its owner only, and an older
    // file that others could read is tightened once a password is in it.
    TSafeWriteOptions options;
    options.NewFileMode = 0600;
    QString password;
    options.OwnerOnly = FindValue(image, QStringLiteral("System"), QStringLiteral("Password"), password) &&
                        !password.isEmpty();
    QString reason;
    if (!SafeWriteFile(FFileName, image, reason, options))
        throw EIniFileError(QStringLiteral("Unable to write to %1").arg(fullPath), reason);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
