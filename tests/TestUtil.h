#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

// "07 00 A8 C0" -> bytes; spaces ignored.
inline QByteArray Hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

inline std::string HexOf(const QByteArray &b) { return b.toHex(' ').toUpper().toStdString(); }

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
