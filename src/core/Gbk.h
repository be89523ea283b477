#pragma once
// Conversion between GBK bytes (code page 936) and Qt strings. Every file and wire boundary goes
// through here; inside the program text is Unicode.

#include <QByteArray>
#include <QString>

QByteArray ToGbk(const QString &text);
QString FromGbk(const QByteArray &bytes);
QString FromGbk(const char *data, qsizetype size);

// True when the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(const QByteArray &bytes);
