#pragma once
// Conversion between GBK bytes (code page 936) and Qt strings. Every file and wire boundary goes
// through here; inside the program text is Unicode.
//
// The pair is lossless for bytes: a byte that does not start a GBK character which encodes back to
// the same bytes (a lone lead byte, a lead byte with a bad trail byte, a character cut off by the
// end of a field) decodes to an escape of its own, U+DC80..U+DCFF for the bytes 0x80..0xFF, and
// the escape encodes back to that byte. These are lone low surrogates: no GBK character decodes to
// them (GBK's user-defined areas decode to the Private Use Area, which is why that area is not
// used) and no typed text holds them. So FromGbk followed by ToGbk gives back every byte string
// unchanged, and a text field read from a module and written back unchanged is written
// byte for byte.

#include <QByteArray>
#include <QString>

QByteArray ToGbk(const QString &text);
QString FromGbk(const QByteArray &bytes);
QString FromGbk(const char *data, qsizetype size);

// The escape of a byte 0x80..0xFF that is not part of a GBK character.
constexpr char16_t GbkEscapeBase = 0xDC00;
inline bool IsGbkEscape(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }

// ToGbk cut to at most maxBytes bytes at a character boundary: a double-byte character that does
// not fit is left out whole, an escaped byte counts as one byte.
QByteArray ToGbkCut(const QString &text, qsizetype maxBytes);

// True when ToGbk loses nothing: FromGbk gives the same text back.
bool FitsGbk(const QString &text);

// True when the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(const QByteArray &bytes);
