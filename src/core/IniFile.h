#pragma once
// Cfg.ini: our own reader and writer of the INI format. No copy of the contents is kept; every
// read and every write goes to the file at that moment. Lines end with CR LF. Text is GBK while
// every line has a GBK form; a file with a value outside GBK (a path like /home/jörg) is written
// as UTF-8. A file that is valid UTF-8 throughout is read as UTF-8, any other as GBK.

#include "core/AppError.h"

#include <QString>
#include <stdexcept>

class EIniFileError : public EAppError {
public:
    explicit EIniFileError(const QString &message, QString reason = QString())
        : EAppError(message), FReason(std::move(reason))
    {
    }
    // The system's words for the cause ("No space left on device"); may be empty.
    const QString &Reason() const { return FReason; }
    // The message with its cause, for a log line.
    QString Text() const { return FReason.isEmpty() ? Message() : Message() + QStringLiteral(" (") + FReason + u')'; }

private:
    QString FReason;
};

class TIniFile {
public:
    static constexpr int MaxValueBytes = 2047;
    // A settings file is a few hundred bytes; one beyond this is not read (nor written over).
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    explicit TIniFile(QString fileName) : FFileName(std::move(fileName)) {}
    // Reads seedFileName while fileName does not exist; the first write creates fileName from the
    // seed's contents. (The copy beside an installed program is the seed of the user's own copy.)
    TIniFile(QString fileName, QString seedFileName)
        : FFileName(std::move(fileName)), FSeedFileName(std::move(seedFileName)) {}
    const QString &FileName() const { return FFileName; }
    const QString &SeedFileName() const { return FSeedFileName; }

    // Missing file, section or key: the default. A present key with an empty value: "".
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else yields the default.
    int ReadInteger(const QString &section, const QString &key, int def) const;
    // Read as an integer: zero is false, any other integer true.
    bool ReadBool(const QString &section, const QString &key, bool def) const;

    // Raise EIniFileError("Unable to write to <full path>") when the file cannot be written; the
    // file then keeps what it held. A file that holds a password is readable by its owner only.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);

    // Integer value rule of ReadInteger on a value text.
    static int IntegerValue(const QString &text, int def);
    // Parses a whole file image; used by the reader and by the fuzz target.
    static bool FindValue(const QByteArray &image, const QString &section, const QString &key, QString &value);

private:
    bool ReadImage(QByteArray &image, QString &why) const;
    QString FFileName;
    QString FSeedFileName;
};
