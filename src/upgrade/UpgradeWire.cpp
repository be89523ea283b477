// The upgrade's packet layouts, shared by the attempt, the simulated boot loader and the tests.
#include "upgrade/Upgrade.h"

#include "core/ProFun.h"

#include <algorithm>

namespace {

const QByteArray OctetMode = QByteArrayLiteral("octet");

uint8_t at(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]); }

} // namespace

std::array<uint8_t, 4> UpAddressBytes(const QString &text)
{
    const QStringList parts = RemoveSpaces(text).split(u'.');
    const auto bad = [&] { return EConvertError(QStringLiteral("'%1' is not a valid IP address").arg(text)); };
    if (parts.size() != 4)
        throw bad();
    std::array<uint8_t, 4> out{};
    for (int i = 0; i < 4; ++i) {
        const QString &p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            throw bad();
        int v = 0;
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                throw bad();
            v = v * 10 + (c.unicode() - '0');
        }
        if (v > 255)
            throw bad();
        out[i] = static_cast<uint8_t>(v);
    }
    return out;
}

QByteArray UpBuildTrigger(const uint8_t mac[6])
{
    QByteArray t(UpTriggerLen, char(0xAA));
    for (int copy = 0; copy < 4; ++copy)
        std::copy(mac, mac + 6, t.begin() + 6 + 6 * copy);
    return t;
}

bool UpBootpRequestFieldsOk(const QByteArray &r)
{
    return r.size() == UpBootpLen && at(r, 0) == 1 && at(r, 1) == 1 && at(r, 2) == 6 && at(r, 3) == 0 &&
           at(r, 10) == 0 && at(r, 11) == 0;
}

QByteArray UpBuildBootpReply(const QByteArray &request, const std::array<uint8_t, 4> &yourAddr,
                             const std::array<uint8_t, 4> &serverAddr)
{
    QByteArray r = request;
    if (r.size() < UpBootpLen)
        r.resize(UpBootpLen, '\0');
    r[0] = 2;
    std::copy(yourAddr.begin(), yourAddr.end(), r.begin() + 16);
    std::copy(serverAddr.begin(), serverAddr.end(), r.begin() + 20);
    std::copy(UpBootFileName.begin(), UpBootFileName.end(), r.begin() + 108);
    return r;
}

bool UpReadRequestOk(const QByteArray &r)
{
    // Bytes 14 and 20, the terminators, are not looked at.
    return r.size() == UpReadReqLen && at(r, 0) == 0 && at(r, 1) == 1 && r.mid(2, 12) == UpBootFileName &&
           r.mid(15, 5) == OctetMode;
}

QByteArray UpBuildReadRequest()
{
    QByteArray r("\x00\x01", 2);
    r += UpBootFileName;
    r += '\0';
    r += OctetMode;
    r += '\0';
    return r;
}

QByteArray UpBuildAck(int block)
{
    QByteArray a(UpAckLen, '\0');
    a[1] = 4;
    a[2] = char((block >> 8) & 0xFF);
    a[3] = char(block & 0xFF);
    return a;
}

int UpProgressPercent(int b, qint64 fileSize)
{
    const qint64 d = fileSize / UpBlockSize;
    if (d <= 0)
        return 100;
    // b / d * 100, halves rounded up.
    const qint64 p = (qint64(b) * 200 + d) / (2 * d);
    return int(std::clamp<qint64>(p, 0, 100));
}
