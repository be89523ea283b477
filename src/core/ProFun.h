#pragma once
// Conversion helpers between protocol bytes and the texts the editor pages show.

#include "core/AppError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>

// The one conversion error of this program: a text that is not the number, address or MAC it
// should be. Callers catch it at the edge of each operation.
class EConvertError : public EAppError {
public:
    using EAppError::EAppError;
};

// Decimal text to a 32-bit integer: optional sign, digits only. Raises EConvertError.
int StrToInt(const QString &text);
// Like StrToInt, but returns false instead of raising.
bool TryStrToInt(const QString &text, int &value);

// Addresses and MACs.
QString IntToIP(uint32_t value);
uint32_t IPStrToInt(const QString &text);
bool SameSubnet(const QString &ip1, const QString &ip2, const QString &mask);
QString BytesToIPRev(const uint8_t *buf);
void IPToBytesRev(const QString &text, uint8_t *buf);
QString BytesToMac(const uint8_t *buf);
void MacToBytes(const QString &text, uint8_t *buf);
QString RemoveSpaces(const QString &text);

// Bytes, strings and integers. Strings cross the wire as GBK.
QString BytesToStr(const uint8_t *buf, int n);
void StrToBufPad(const QString &text, uint8_t *buf, int n);
void PutPaddedStr(QByteArray &array, const QString &text, int offset, int count);
int BytesToInt(const uint8_t *buf, int n, bool littleEndian);
std::array<uint8_t, 2> WordToBytes(int value);
void ByteToBools(uint8_t value, bool bits[8]);
uint8_t BoolsToByte(const bool bits[8]);
int IntMod(int a, int b);
QString ReverseStr(const QString &text);
uint8_t Sum8(const uint8_t *buf, int n);

// The text shown for a byte string: up to its first zero byte.
QString UpToZero(const QString &text);

// Hexadecimal texts.
QString BytesToHexSpaced(const QByteArray &bytes);
QString BufToHex(const uint8_t *buf, int n, const QString &separator);
QString StrToHexStr(const QString &text);
QString HexStrToStr(const QString &text);
bool HexStrToBuf(const QString &text, uint8_t *buf, int count);

// Bits of the serial-settings byte (16550 line control register layout).
QString ByteToBin(int value);
int LcrParity(uint8_t value);
int LcrDataBits(uint8_t value);
int LcrStopBits(uint8_t value);

// The PC's IPv4 addresses (interfaces up and running, loopback excluded, stable order). Fills the
// list and returns its count.
int LocalIPv4List(QStringList &list);
// Tests replace the source of the address list; an empty function restores the real one.
void SetLocalIPv4Provider(std::function<QStringList()> provider);
