#include "netconfig/ModelInfo.h"

namespace {

TModelInfo row(int code, const char *name, int lanPort, int lanPage, int serialPage, uint8_t serialRead,
               bool lanWrite, bool lanReset, int minVersion, int heartHttpdFrom)
{
    TModelInfo m;
    m.Code = code;
    m.Name = QString::fromLatin1(name);
    m.LanPort = lanPort;
    m.LanPage = lanPage;
    m.SerialPage = serialPage;
    m.SerialRead = serialRead;
    m.LanWrite = lanWrite;
    m.LanReset = lanReset;
    m.MinVersion = minVersion;
    m.HeartHttpdFrom = heartHttpdFrom;
    return m;
}

} // namespace

const QList<TModelInfo> &ModelTable()
{
    // Q3 modules answer the LAN read with a base and port block that fills no page; over the serial
    // line they carry the Q1 field group. Q1 modules are configured over the serial line only.
    static const QList<TModelInfo> table = {
        row(ModelNone, "unknown", 0, PageNone, PageNone, ComReadQ1, false, false, 0, 0),
        row(ModelQ2, "Q2", DevPortQ2, PageQ2, PageQ2, ComReadQ2, true, true, MinKnownVersion, FirmwareHeartHttpd),
        row(ModelQ3, "Q3", DevPortQ3, PageNone, PageQ1, ComReadQ3, false, true, MinKnownVersion, 0),
        row(ModelQ1, "Q1", 0, PageNone, PageQ1, ComReadQ1, false, false, 0, 0),
    };
    return table;
}

const TModelInfo &ModelInfo(int code)
{
    for (const TModelInfo &m : ModelTable())
        if (m.Code == code)
            return m;
    return ModelTable().first();
}

const TModelInfo *ModelByName(const QString &name)
{
    for (const TModelInfo &m : ModelTable())
        if (m.Code != ModelNone && m.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

int ModelOfPort(int peerPort)
{
    for (const TModelInfo &m : ModelTable())
        if (m.OnLan() && m.LanPort == peerPort)
            return m.Code;
    return ModelNone;
}

int ModelOfReply(int version, int peerPort)
{
    const TModelInfo &m = ModelInfo(ModelOfPort(peerPort));
    return version < m.MinVersion ? ModelNone : m.Code;
}
