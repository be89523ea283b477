#include "netconfig/Codecs.h"

#include "core/Gbk.h"
#include "core/ProFun.h"
#include "netconfig/PageControls.h"

#include <algorithm>

namespace {

int le16(const uint8_t *p) { return p[0] | (p[1] << 8); }
int be16(const uint8_t *p) { return (p[0] << 8) | p[1]; }
void putLe16(uint8_t *p, int v)
{
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t((v >> 8) & 0xFF);
}
void putBe16(uint8_t *p, int v)
{
    p[0] = uint8_t((v >> 8) & 0xFF);
    p[1] = uint8_t(v & 0xFF);
}
void setBit(uint8_t &b, int bit, bool on)
{
    if (on)
        b = uint8_t(b | (1u << bit));
    else
        b = uint8_t(b & ~(1u << bit));
}

// A data field of the heartbeat block, shown as hex or as text.
QString dataText(const uint8_t *data, int length, bool hex)
{
    return hex ? BufToHex(data, length, QString()) : BytesToStr(data, length);
}

// An address text that the four bytes hold exactly: a shorter text would leave a byte of the
// template, a larger number would be cut to 8 bits.
void putIP(const QString &text, uint8_t *at)
{
    if (!IsDottedQuad(text.trimmed()))
        throw EConvertError(QStringLiteral("'%1' is not a valid IP address").arg(text));
    IPToBytesRev(text, at);
}

// Writes one heartbeat/register data field; false when a hex pair did not convert.
bool putData(const QString &text, bool hex, uint8_t *lengthByte, uint8_t *data)
{
    int length;
    bool ok = true;
    if (hex) {
        length = int(text.size() / 2);
        ok = HexStrToBuf(text, data, HeartDataMax);
    } else {
        // The length is what fits: a double-byte character cut off by the field is left out whole.
        const QByteArray bytes = ToGbkCut(text, HeartDataMax);
        length = int(bytes.size());
        std::fill(data, data + HeartDataMax, uint8_t(0));
        std::copy(bytes.begin(), bytes.end(), data);
    }
    // Lowered to 40 before it is stored: a longer text must not wrap to a short length.
    *lengthByte = uint8_t(std::min(length, HeartDataMax));
    return ok;
}

// A 16-bit text of a Modbus edit; empty means "leave the pair as it is". A number that does not
// fit is refused rather than cut to 16 bits.
bool putBe16Text(const QString &text, uint8_t *p)
{
    if (text.isEmpty())
        return true;
    int v = 0;
    if (!TryStrToInt(text, v) || v < 0 || v > 0xFFFF)
        return false;
    putBe16(p, v);
    return true;
}

} // namespace

bool IsSearchReply(const QByteArray &d)
{
    return d.size() == LenSearch && uint8_t(d[0]) == 0xFF && uint8_t(d[1]) == 0x24 && uint8_t(d[2]) == 0x01;
}

TSearchReply DecodeSearchReply(const QByteArray &d)
{
    const auto *b = reinterpret_cast<const uint8_t *>(d.constData());
    TSearchReply r;
    r.IP = QStringLiteral("%1.%2.%3.%4").arg(b[5]).arg(b[6]).arg(b[7]).arg(b[8]);
    r.Mac = BytesToMac(b + 9);
    r.Version = b[15] + 256 * b[16];
    r.Name = BytesToStr(b + 19, 14);
    return r;
}

TBaseParam DecodeBaseParam(const uint8_t *b)
{
    TBaseParam p;
    const uint8_t opt = b[3];
    p.IsT0 = opt & 0x01;
    p.Flag1 = (opt >> 1) & 1;
    p.RegSnd = (opt >> 2) & 1;
    p.ClearBuffer = (opt >> 4) & 1;
    p.ShortConn = (opt >> 5) & 1;
    p.AddrType = (opt >> 7) & 1;
    p.UpnpPort = le16(b + 4);
    p.HttpPort = le16(b + 6);
    p.StaticIP = BytesToIPRev(b + 9);
    p.GatewayIP = BytesToIPRev(b + 13);
    p.SubnetMask = BytesToIPRev(b + 17);
    p.ModName = BytesToStr(b + 21, 16);
    p.UserName = BytesToStr(b + 37, 6);
    p.Password = BytesToStr(b + 43, 6);
    p.Options = b[52] & 0xF0;
    p.UserMAC = BytesToMac(b + 53);
    p.Dns = BytesToIPRev(b + 59);
    p.ShortConnTime = b[63];
    return p;
}

TPortParam DecodePortParam(const uint8_t *b)
{
    TPortParam p;
    p.Baudrate = BytesToInt(b, 4, true);
    p.DataBits = b[4];
    p.Parity = b[5];
    p.StopBits = b[6];
    p.FlowControl = b[7];
    p.LocalPort = le16(b + 12);
    p.RemotePort = le16(b + 14);
    p.RemoteIP = BytesToStr(b + 16, 30);
    const uint8_t opt = b[50];
    p.ModbusTcp = (opt >> 2) & 1;
    p.Rfc2217 = (opt >> 3) & 1;
    p.CloudEnable = (opt >> 4) & 1;
    p.KickOld = (opt >> 5) & 1;
    p.MacRegister = (opt >> 6) & 1;
    p.MacHeart = (opt >> 7) & 1;
    p.WorkMode = b[51];
    p.GetPost = b[52];
    p.TcpSvrCount = b[53];
    p.ResetTimeout = le16(b + 54);
    p.UserRegister = b[56] == 1;
    p.UdpFrom = b[58] == 1;
    p.TcpStyle = b[58] & 0x0F;
    p.PackLen = le16(b + 59);
    p.PackTime = le16(b + 61);
    return p;
}

TCloudParam DecodeCloudParam(const uint8_t *b)
{
    return {BytesToStr(b + 2, 20), BytesToStr(b + 22, 8)};
}

THeartRegParam DecodeHeartRegParam(const uint8_t *b)
{
    THeartRegParam p;
    const uint8_t f = b[0];
    p.HeartMode = (f & 0x01) ? 2 : (f & 0x02) ? 1 : 0; // the network bit wins
    const bool connect = (f >> 2) & 1, data = (f >> 3) & 1;
    p.RegMode = connect && data ? 2 : connect ? 0 : data ? 1 : -1;
    p.RemoveHttpdHead = (f >> 4) & 1;
    p.ComSetEnable = (f >> 5) & 1;
    p.HeartHex = (f >> 6) & 1;
    p.RegHex = (f >> 7) & 1;
    p.HeartTime = le16(b + 1);
    // A module may claim more than the 40 bytes the field holds: never read past it.
    p.HeartData = dataText(b + 5, std::min<int>(b[3], HeartDataMax), p.HeartHex);
    p.RegData = dataText(b + 45, std::min<int>(b[4], HeartDataMax), p.RegHex);
    return p;
}

THttpdParam DecodeHttpdParam(const uint8_t *b)
{
    return {BytesToStr(b + 1, std::min<int>(b[0], HttpdUrlMax)),
            BytesToStr(b + 102, std::min<int>(b[101], HttpdHeadMax))};
}

TModbusParam DecodeModbusParam(const uint8_t *b, int length)
{
    TModbusParam p;
    p.TcpEnable = b[0];
    if (length >= 4) {
        p.PollEnable = b[1];
        p.WaitTime = QString::number(be16(b + 2));
    }
    return p;
}

TModbusPackParam DecodeModbusPackParam(const uint8_t *b)
{
    TModbusPackParam p;
    p.ModbusType = b[0];
    p.Exception = b[1];
    p.Timeout = QString::number(be16(b + 2));
    p.Interval = QString::number(be16(b + 4));
    p.ReportProto = b[6];
    return p;
}

TModbusNewParam DecodeModbusNewParam(const uint8_t *b)
{
    TModbusNewParam p;
    p.PollMode = b[0];
    p.Exception = b[1];
    p.Timeout = QString::number(be16(b + 2));
    p.Interval = QString::number(be16(b + 4));
    return p;
}

TEncodeResult EncodeBaseParam(const TBaseParam &p, uint8_t *b, uint8_t lastOptByte)
{
    uint8_t opt = lastOptByte;
    setBit(opt, 7, p.AddrType != 0);
    setBit(opt, 5, p.ShortConn);
    setBit(opt, 4, p.ClearBuffer);
    setBit(opt, 0, p.IsT0 != 0);
    b[3] = opt;
    putLe16(b + 4, p.UpnpPort);
    putLe16(b + 6, p.HttpPort);
    const struct {
        const QString &text;
        int at;
        const char *field;
    } ips[] = {{p.StaticIP, 9, "StaticIP"}, {p.GatewayIP, 13, "GatewayIP"}, {p.SubnetMask, 17, "SubnetMask"}};
    for (const auto &ip : ips) {
        try {
            putIP(ip.text, b + ip.at);
        } catch (const EConvertError &) {
            return TEncodeResult::Fail(QString::fromLatin1(ip.field));
        }
    }
    StrToBufPad(p.ModName, b + 21, 16);
    StrToBufPad(p.UserName, b + 37, 6);
    StrToBufPad(p.Password, b + 43, 6);
    b[52] = uint8_t(p.Options & 0xF0);
    try {
        MacToBytes(p.UserMAC, b + 53);
    } catch (const EConvertError &) {
        return TEncodeResult::Fail(QStringLiteral("UserMAC"));
    }
    try {
        putIP(p.Dns, b + 59);
    } catch (const EConvertError &) {
        return TEncodeResult::Fail(QStringLiteral("Dns"));
    }
    b[63] = uint8_t(p.ShortConnTime & 0xFF);
    return {};
}

TEncodeResult EncodePortParam(const TPortParam &p, uint8_t *b, uint8_t lastPortOptByte)
{
    const uint32_t baud = uint32_t(p.Baudrate);
    for (int i = 0; i < 4; ++i)
        b[i] = uint8_t((baud >> (8 * i)) & 0xFF);
    b[4] = uint8_t(p.DataBits);
    b[5] = uint8_t(p.Parity);
    b[6] = uint8_t(p.StopBits);
    b[7] = uint8_t(p.FlowControl);
    std::fill(b + 8, b + 12, uint8_t(0));
    putLe16(b + 12, p.LocalPort);
    putLe16(b + 14, p.RemotePort);
    StrToBufPad(p.RemoteIP, b + 16, 30);
    uint8_t opt = lastPortOptByte & 0x03;
    setBit(opt, 2, p.ModbusTcp != 0);
    setBit(opt, 3, p.Rfc2217 != 0);
    setBit(opt, 4, false);
    setBit(opt, 5, p.KickOld);
    setBit(opt, 6, p.MacRegister);
    setBit(opt, 7, p.MacHeart);
    b[50] = opt;
    b[51] = uint8_t(p.WorkMode);
    b[52] = uint8_t(p.GetPost);
    b[53] = uint8_t(p.TcpSvrCount);
    putLe16(b + 54, p.ResetTimeout);
    b[56] = p.UserRegister ? 1 : 0;
    b[58] = p.UdpFrom ? 1 : 0;
    putLe16(b + 59, p.PackLen);
    putLe16(b + 61, p.PackTime);
    return {};
}

TEncodeResult EncodeHeartRegParam(const THeartRegParam &p, uint8_t *b)
{
    uint8_t f = 0;
    setBit(f, 0, p.HeartMode == 2);
    setBit(f, 1, p.HeartMode == 1);
    if (p.RegMode == 0)
        f |= 0x04;
    else if (p.RegMode == 1)
        f |= 0x08;
    else
        f |= 0x0C;
    setBit(f, 4, p.RemoveHttpdHead);
    setBit(f, 5, p.ComSetEnable);
    setBit(f, 6, p.HeartHex);
    setBit(f, 7, p.RegHex);
    b[0] = f;
    putLe16(b + 1, p.HeartTime);
    TEncodeResult r;
    if (!putData(p.HeartData, p.HeartHex, b + 3, b + 5))
        r = TEncodeResult::Fail(QStringLiteral("HeartData"));
    if (!putData(p.RegData, p.RegHex, b + 4, b + 45) && r.Ok)
        r = TEncodeResult::Fail(QStringLiteral("RegData"));
    return r;
}

namespace {
void putHttpdPart(const QString &text, uint8_t *lengthByte, int max)
{
    const QByteArray bytes = ToGbkCut(text, max);
    *lengthByte = uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), lengthByte + 1);
}
} // namespace

void EncodeHttpdUrl(const QString &url, uint8_t *b) { putHttpdPart(url, b, HttpdUrlMax); }

void EncodeHttpdHeader(const QString &header, uint8_t *b) { putHttpdPart(header, b + 101, HttpdHeadMax); }

TEncodeResult EncodeModbusParam(const TModbusParam &p, uint8_t *b)
{
    b[0] = p.TcpEnable;
    b[1] = p.PollEnable;
    if (!putBe16Text(p.WaitTime, b + 2))
        return TEncodeResult::Fail(QStringLiteral("WaitTime"));
    return {};
}

TEncodeResult EncodeModbusPackParam(const TModbusPackParam &p, uint8_t *b)
{
    b[0] = uint8_t(p.ModbusType);
    if (p.ModbusType == 1 || p.ModbusType == 2) {
        b[1] = uint8_t(p.Exception);
        if (!putBe16Text(p.Timeout, b + 2))
            return TEncodeResult::Fail(QStringLiteral("Timeout"));
        if (!putBe16Text(p.Interval, b + 4))
            return TEncodeResult::Fail(QStringLiteral("Interval"));
    }
    if (p.ModbusType == 2)
        b[6] = uint8_t(p.ReportProto);
    return {};
}

TEncodeResult EncodeModbusNewParam(const TModbusNewParam &p, uint8_t *b)
{
    b[0] = uint8_t(p.PollMode);
    if (p.PollMode == 2 || p.PollMode == 3) {
        b[1] = uint8_t(p.Exception);
        if (!putBe16Text(p.Timeout, b + 2))
            return TEncodeResult::Fail(QStringLiteral("Timeout"));
        if (!putBe16Text(p.Interval, b + 4))
            return TEncodeResult::Fail(QStringLiteral("Interval"));
    }
    return {};
}
