// Any chunk the serial port can deliver, for any model of the serial page, must be handled without
// a fault; and a write after it must either be refused or send well-formed frames only.
#include "core/LogSink.h"
#include "core/ProFun.h"
#include "serial/Comm.h"
#include "serial/SerialProtocol.h"
#include "serial/SerialSession.h"

#include <cstddef>
#include <cstdint>

namespace {

struct TState {
    TNullLogSink log;
    TComm comm;
    TSerialSession session {comm, log};
    TQ2Page q2;
    TQ1Page q1;
    TSerialProtocol proto {session, q2, q1};
    TState()
    {
        session.Wait = [](int) {};
        proto.Pause = [](int) {};
    }
};

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool framed(const QByteArray &f, int length, uint8_t code)
{
    const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
    return f.size() == length && b[0] == ComHead && b[1] == code && b[length - 1] == Sum8(b + 2, length - 3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static TState *s = new TState;
    static const int models[] = {ModelQ1, ModelQ2, ModelQ3, ModelNone};
    const int model = models[data[0] & 3];
    const bool write = data[0] & 4;
    // The port delivers at most 1024 bytes at a time; the handler is asked about any length.
    const int length = int(std::min<size_t>(size - 1, 2048));
    s->proto.HandleSerialData(data + 1, length);
    if (s->proto.Unrecognised.size() > 100)
        s->proto.Unrecognised.clear();
    if (!write)
        return 0;
    const TSerialWritePlan plan = PlanSerialWrite(model, s->q2, s->q1, s->proto.LastRead);
    if (plan.Status != TSerialWriteStatus::Ready) {
        check(plan.Frames.isEmpty());
        return 0;
    }
    if (model == ModelQ2) {
        check(plan.Frames.size() == 3);
        check(framed(plan.Frames[0], LenComBaseFrame, ComWriteBase));
        check(framed(plan.Frames[1], LenComPortFrame, ComWritePort));
    } else {
        check(plan.Frames.size() == 1 && framed(plan.Frames[0], LenComQ1Frame, ComWriteQ1));
    }
    s->proto.WriteParamsSerial(model); // the port is closed: the sends only report
    return 0;
}
