// The simulator's --config file is typed by hand: any bytes must give modules or a clear refusal,
// and a module that parsed must answer a search without a fault.
#include "sim/Sim.h"
#include "sim/SimLan.h"

#include <cstddef>
#include <cstdint>

// The simulator's main is not part of this target; these stand in for it.
QList<TSimMode> &SimModes()
{
    static QList<TSimMode> modes;
    return modes;
}
QString SimOptionValue(const QStringList &args, int &i) { return args.value(++i); }
void SimOut(const QString &) {}
void SimErr(const QString &) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = SimConfigLines(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    int index = 0;
    for (const QString &line : lines) {
        try {
            TSimModule m = SimParseModule(line, index++, QStringLiteral("tovak"), QStringLiteral("tovak"));
            if (m.SearchReply().size() != 36 || m.Base.size() != 67 || m.Port.size() != 63)
                __builtin_trap();
            const QByteArray search = QByteArray::fromHex("FF010102");
            (void)SimHandleFrame(m, search, false, [](const QString &) {});
        } catch (const TSimUsageError &) {
        }
        if (index > 64)
            break;
    }
    return 0;
}
