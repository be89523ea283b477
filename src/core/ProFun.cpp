#include "core/ProFun.h"

#include "core/Gbk.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <algorithm>

namespace {

std::function<QStringList()> &ipv4Provider()
{
    static std::function<QStringList()> provider;
    return provider;
}

QStringList systemIPv4List()
{
    QStringList out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &ifc : interfaces) {
        const auto flags = ifc.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : ifc.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
                out << a.toString();
        }
    }
    return out;
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

int hexPair(const QString &text, int at)
{
    const int hi = hexDigit(text.at(at));
    const int lo = hexDigit(text.at(at + 1));
    if (hi < 0 || lo < 0)
        return -1;
    return hi * 16 + lo;
}

} // namespace

bool TryStrToInt(const QString &text, int &value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    int i = 0;
    bool negative = false;
    if (t[0] == u'-' || t[0] == u'+') {
        negative = t[0] == u'-';
        i = 1;
    }
    if (i >= t.size())
        return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
        const ushort u = t[i].unicode();
        if (u < '0' || u > '9')
            return false;
        v = v * 10 + (u - '0');
        if (v > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX || v < INT32_MIN)
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const QString &text)
{
    int v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

QString IntToIP(uint32_t value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((value >> 24) & 0xFF)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

uint32_t IPStrToInt(const QString &text)
{
    uint32_t result = 0;
    int pos = 0;
    for (int g = 0; g < 4; ++g) {
        const int start = pos;
        while (pos < text.size() && text[pos].unicode() >= '0' && text[pos].unicode() <= '9')
            ++pos;
        if (pos == start)
            throw EConvertError(QStringLiteral("'%1' is not a valid IP address").arg(text));
        const uint32_t group = static_cast<uint32_t>(StrToInt(text.mid(start, pos - start)));
        result += group << (8 * (3 - g));
        ++pos; // the character after a run is skipped, whatever it is
    }
    return result;
}

bool SameSubnet(const QString &ip1, const QString &ip2, const QString &mask)
{
    const uint32_t m = IPStrToInt(mask);
    return (IPStrToInt(ip1) & m) == (IPStrToInt(ip2) & m);
}

QString BytesToIPRev(const uint8_t *buf)
{
    return QStringLiteral("%1.%2.%3.%4").arg(buf[3]).arg(buf[2]).arg(buf[1]).arg(buf[0]);
}

void IPToBytesRev(const QString &text, uint8_t *buf)
{
    const QStringList parts = RemoveSpaces(text).split(u'.');
    if (parts.size() > 4)
        throw EConvertError(QStringLiteral("'%1' is not a valid IP address").arg(text));
    // Convert everything first so that a bad part leaves the buffer untouched.
    int values[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i)
        values[i] = StrToInt(parts[i]);
    for (int i = 0; i + 1 < parts.size(); ++i)
        buf[3 - i] = static_cast<uint8_t>(values[i] & 0xFF);
    buf[0] = static_cast<uint8_t>(values[parts.size() - 1] & 0xFF);
}

QString BytesToMac(const uint8_t *buf)
{
    return BufToHex(buf, 6, QStringLiteral(" ")).chopped(1);
}

void MacToBytes(const QString &text, uint8_t *buf)
{
    const QString t = RemoveSpaces(text);
    if (t.size() != 12)
        throw EConvertError(QStringLiteral("'%1' is not a valid MAC address").arg(text));
    uint8_t out[6];
    for (int i = 0; i < 6; ++i) {
        const int v = hexPair(t, 2 * i);
        if (v < 0)
            throw EConvertError(QStringLiteral("'%1' is not a valid MAC address").arg(text));
        out[i] = static_cast<uint8_t>(v);
    }
    std::copy(out, out + 6, buf);
}

QString RemoveSpaces(const QString &text)
{
    QString out = text;
    out.remove(u' ');
    return out;
}

QString BytesToStr(const uint8_t *buf, int n)
{
    if (n <= 0)
        return {};
    return FromGbk(reinterpret_cast<const char *>(buf), n);
}

void StrToBufPad(const QString &text, uint8_t *buf, int n)
{
    if (n <= 0)
        return;
    const QByteArray bytes = ToGbkCut(text, n);
    std::fill(buf, buf + n, uint8_t(0));
    std::copy(bytes.begin(), bytes.end(), buf);
}

void PutPaddedStr(QByteArray &array, const QString &text, int offset, int count)
{
    if (count <= 0 || offset < 0)
        return;
    QByteArray bytes = ToGbkCut(RemoveSpaces(text), count);
    if (bytes.size() < std::max(6, count))
        bytes.append(QByteArray(std::max(6, count) - bytes.size(), '\0'));
    if (array.size() < offset + count)
        array.resize(offset + count);
    std::copy(bytes.begin(), bytes.begin() + count, array.begin() + offset);
}

int BytesToInt(const uint8_t *buf, int n, bool littleEndian)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const uint8_t b = littleEndian ? buf[n - 1 - i] : buf[i];
        v = (v << 8) | b;
    }
    return static_cast<int>(v);
}

std::array<uint8_t, 2> WordToBytes(int value)
{
    return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)};
}

void ByteToBools(uint8_t value, bool bits[8])
{
    for (int i = 0; i < 8; ++i)
        bits[i] = (value >> i) & 1;
}

uint8_t BoolsToByte(const bool bits[8])
{
    uint8_t v = 0;
    for (int i = 0; i < 8; ++i)
        if (bits[i])
            v |= uint8_t(1u << i);
    return v;
}

int IntMod(int a, int b)
{
    if (b == 0)
        throw EConvertError(QStringLiteral("division by zero"));
    if (b == -1)
        return 0; // INT_MIN % -1 would trap
    return a % b;
}

QString ReverseStr(const QString &text)
{
    QString out = text;
    std::reverse(out.begin(), out.end());
    return out;
}

uint8_t Sum8(const uint8_t *buf, int n)
{
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += buf[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

QString UpToZero(const QString &text)
{
    const qsizetype z = text.indexOf(QChar(0));
    return z < 0 ? text : text.left(z);
}

QString BytesToHexSpaced(const QByteArray &bytes)
{
    return BufToHex(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()),
                    QStringLiteral(" "));
}

QString BufToHex(const uint8_t *buf, int n, const QString &separator)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(n * (2 + separator.size()));
    for (int i = 0; i < n; ++i) {
        out += QLatin1Char(digits[buf[i] >> 4]);
        out += QLatin1Char(digits[buf[i] & 0xF]);
        out += separator;
    }
    return out;
}

QString StrToHexStr(const QString &text)
{
    const QByteArray bytes = ToGbk(text);
    return BufToHex(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()), QString());
}

QString HexStrToStr(const QString &text)
{
    QByteArray bytes;
    for (int i = 0; i < text.size() / 2; ++i) {
        const int v = hexPair(text, 2 * i);
        if (v < 0)
            return text;
        bytes.append(char(v));
    }
    return FromGbk(bytes);
}

bool HexStrToBuf(const QString &text, uint8_t *buf, int count)
{
    const int pairs = int(text.size() / 2);
    for (int i = 0; i < count; ++i) {
        if (i < pairs) {
            const int v = hexPair(text, 2 * i);
            if (v < 0)
                return false;
            buf[i] = static_cast<uint8_t>(v);
        } else {
            buf[i] = 0;
        }
    }
    return true;
}

QString ByteToBin(int value)
{
    uint32_t v = static_cast<uint32_t>(value);
    QString out;
    while (v) {
        out.prepend(QLatin1Char((v & 1) ? '1' : '0'));
        v >>= 1;
    }
    while (out.size() < 6)
        out.prepend(QLatin1Char('0'));
    return out;
}

int LcrParity(uint8_t value)
{
    if (!(value & 0x08))
        return 0;
    return 1 + ((value >> 4) & 0x03);
}

int LcrDataBits(uint8_t value) { return value & 0x03; }

int LcrStopBits(uint8_t value) { return (value >> 2) & 0x01; }

int LocalIPv4List(QStringList &list)
{
    list = ipv4Provider() ? ipv4Provider()() : systemIPv4List();
    return int(list.size());
}

void SetLocalIPv4Provider(std::function<QStringList()> provider) { ipv4Provider() = std::move(provider); }
