#include "netconfig/ModuleRecord.h"

#include "core/ProFun.h"

#include <algorithm>

namespace {
template <size_t N> void keep(std::array<uint8_t, N> &to, const QByteArray &from)
{
    std::copy_n(reinterpret_cast<const uint8_t *>(from.constData()), N, to.begin());
}
} // namespace

void TModuleTemplates::Store(const QByteArray &r)
{
    switch (r.size()) {
    case LenRead:
        keep(Read, r);
        ReadLen = LenRead;
        OptByte = uint8_t(r[3]);
        PortOptByte = uint8_t(r[117]);
        break;
    case LenCloud: keep(Cloud, r); break;
    case LenHeartReg: keep(HeartReg, r); break;
    case LenModbusPack: keep(ModbusPack, r); break;
    case LenModbusNew: keep(ModbusNew, r); break;
    case LenHttpd: keep(Httpd, r); break;
    default: break;
    }
}

QString TModuleRecord::MacDigits() const { return RemoveSpaces(Mac).toUpper(); }
