#include "core/IniFile.h"

#include "core/Gbk.h"
#include "core/ProFun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

namespace {

QList<QByteArray> splitLines(const QByteArray &image)
{
    QList<QByteArray> lines = image.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

// "[name]" -> name, else a null string.
QString sectionName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (t.size() >= 2 && t.startsWith('[')) {
        const qsizetype close = t.indexOf(']');
        if (close > 0)
            return FromGbk(t.mid(1, close - 1)).trimmed();
    }
    return QString();
}

bool splitKey(const QByteArray &line, QString &key, QByteArray &value)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('['))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return false;
    key = FromGbk(t.left(eq)).trimmed();
    value = t.mid(eq + 1).trimmed();
    return true;
}

QByteArray readImage(const QString &fileName, bool &exists)
{
    QFile f(fileName);
    exists = f.exists();
    if (!exists || !f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// A value is cut at MaxValueBytes bytes, never inside a double-byte character.
QString valueText(QByteArray value)
{
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    if (value.size() > TIniFile::MaxValueBytes) {
        int cut = 0;
        while (cut < TIniFile::MaxValueBytes) {
            const int step = static_cast<uint8_t>(value[cut]) >= 0x81 ? 2 : 1;
            if (cut + step > TIniFile::MaxValueBytes)
                break;
            cut += step;
        }
        value.truncate(cut);
    }
    return FromGbk(value);
}

} // namespace

bool TIniFile::FindValue(const QByteArray &image, const QString &section, const QString &key, QString &value)
{
    bool inSection = false;
    for (const QByteArray &line : splitLines(image)) {
        const QString s = sectionName(line);
        if (!s.isNull()) {
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        QString k;
        QByteArray v;
        if (splitKey(line, k, v) && k.compare(key, Qt::CaseInsensitive) == 0) {
            value = valueText(v);
            return true;
        }
    }
    return false;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    bool exists = false;
    const QByteArray image = readImage(FFileName, exists);
    QString value;
    if (!FindValue(image, section, key, value))
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

    bool exists = false;
    QFileInfo info(FFileName);
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        refuse();
    QList<QByteArray> lines = splitLines(readImage(FFileName, exists));

    const QByteArray entry = ToGbk(key) + '=' + ToGbk(value);
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
        QString k;
        QByteArray v;
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
        lines << '[' + ToGbk(section) + ']' << entry;

    QByteArray image;
    for (const QByteArray &l : lines)
        image += l + "\r\n";

    QSaveFile out(FFileName);
    if (!out.open(QIODevice::WriteOnly))
        refuse();
    // The file holds the password in plain text: readable by its owner only.
    if (!exists)
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (out.write(image) != image.size() || !out.commit())
        refuse();
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
