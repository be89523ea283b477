#include "netconfig/Q2Write.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/ModelInfo.h"

namespace {
QByteArray bytes(const uint8_t *p, int n) { return QByteArray(reinterpret_cast<const char *>(p), n); }
uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
template <size_t N> QByteArray bytes(const std::array<uint8_t, N> &a) { return bytes(a.data(), int(N)); }
template <size_t N> void copyInto(std::array<uint8_t, N> &to, const QByteArray &from)
{
    std::copy_n(from.begin(), std::min<size_t>(N, size_t(from.size())), to.begin());
}
} // namespace

int RowVersion(const TDeviceRow &row)
{
    int v = 0;
    return TryStrToInt(row.Version, v) ? v : 0;
}

TQ2WritePlan PlanQ2Write(const TQ2Page &page, const TModuleRecord *module, int blockPauseMs, int restartPauseMs)
{
    TQ2WritePlan plan;
    if (!module) {
        plan.Status = TQ2WriteStatus::NoRow;
        return plan;
    }
    const TModelInfo &model = ModelInfo(module->Model);
    if (!model.LanWrite) {
        plan.Status = TQ2WriteStatus::WrongModel;
        return plan;
    }
    // Only what this module's write carries is checked.
    if (!page.ValidateQ2Page(plan.Message, module->Version)) {
        plan.Status = TQ2WriteStatus::Invalid;
        return plan;
    }
    const auto fail = [&](const TEncodeResult &r, const QString &field) {
        plan.Status = TQ2WriteStatus::NotConverted;
        plan.Message = TQ2Page::FieldLabel(field.isEmpty() ? r.Field : field);
        plan.Frames.clear();
        return plan;
    };

    // Every frame goes to this module, and every block starts from what this module sent.
    const QString mac = module->MacDigits();
    const int version = module->Version;
    const TModuleTemplates &t = module->Templates;
    plan.Read = bytes(t.Read);
    plan.HeartReg = bytes(t.HeartReg);
    plan.Httpd = bytes(t.Httpd);
    plan.Modbus4 = bytes(t.Modbus4);
    plan.ModbusPack = bytes(t.ModbusPack);
    plan.ModbusNew = bytes(t.ModbusNew);
    const auto frame = [&](uint8_t cmd, const QByteArray &payload, int pause) {
        plan.Frames.append({cmd, payload, module->BindingIndex, mac, pause, module->SendTo});
    };

    // Base and port blocks start from the records of the last read, so that a list without a
    // selection writes back what the module sent.
    TBaseParam base = DecodeBaseParam(U(plan.Read));
    if (auto r = page.ReadBase(base); !r)
        return fail(r, {});
    if (auto r = EncodeBaseParam(base, U(plan.Read), t.OptByte); !r)
        return fail(r, {});
    frame(CmdWriteBase, plan.Read.left(LenBase), blockPauseMs);

    TPortParam port = DecodePortParam(U(plan.Read) + LenBase);
    if (auto r = page.ReadPort(port); !r)
        return fail(r, {});
    if (auto r = EncodePortParam(port, U(plan.Read) + LenBase, t.PortOptByte); !r)
        return fail(r, {});
    frame(CmdWritePort, plan.Read.mid(LenBase, LenPort), blockPauseMs);

    const bool heartHttpd = model.HasHeartHttpd(version);
    if (heartHttpd) {
        THeartRegParam h;
        if (auto r = page.ReadHeartReg(h); !r)
            return fail(r, {});
        if (auto r = EncodeHeartRegParam(h, U(plan.HeartReg)); !r)
            return fail(r, {});
        frame(CmdWriteHeartReg, plan.HeartReg, blockPauseMs);
    }
    if (page.RzGroupBoxHttpd.Visible && heartHttpd) {
        const THttpdParam h = page.ReadHttpd();
        EncodeHttpdUrl(h.Url, U(plan.Httpd));
        frame(CmdWriteHttpdUrl, plan.Httpd.left(LenHttpdUrl), blockPauseMs);
        EncodeHttpdHeader(h.Header, U(plan.Httpd));
        frame(CmdWriteHttpdHead, plan.Httpd.mid(LenHttpdUrl, LenHttpdHead), blockPauseMs);
    }
    if (page.rzgrpbxModbus.Visible) {
        TModbusParam m;
        int length = 1;
        if (auto r = page.ReadModbus(m, length); !r)
            return fail(r, {});
        if (auto r = EncodeModbusParam(m, U(plan.Modbus4)); !r)
            return fail(r, QStringLiteral("WaitTime"));
        frame(CmdWriteModbus, plan.Modbus4.left(length), 0);
    }
    if (page.RzGroupBox1.Visible) {
        const TModbusPackParam m = page.ReadModbusPack();
        if (m.ModbusType >= 0) {
            if (auto r = EncodeModbusPackParam(m, U(plan.ModbusPack)); !r)
                return fail(r, {});
        }
        frame(CmdWriteModbus, plan.ModbusPack, 0);
    }
    if (page.rzgrpbxModbusNew.Visible) {
        const TModbusNewParam m = page.ReadModbusNew();
        if (m.PollMode >= 0) {
            if (auto r = EncodeModbusNewParam(m, U(plan.ModbusNew)); !r)
                return fail(r, r.Field + QStringLiteral("1"));
        }
        frame(CmdWriteModbus, plan.ModbusNew, 0);
    }
    if (!plan.Frames.isEmpty())
        plan.Frames.last().PauseAfterMs += restartPauseMs;
    frame(CmdRestart, QByteArray(), 0);
    plan.Status = TQ2WriteStatus::Ready;
    return plan;
}

void KeepPlanTemplates(const TQ2WritePlan &plan, TModuleRecord &module)
{
    // The templates change with every write, as with every reply.
    TModuleTemplates &t = module.Templates;
    copyInto(t.Read, plan.Read);
    copyInto(t.HeartReg, plan.HeartReg);
    copyInto(t.Httpd, plan.Httpd);
    copyInto(t.Modbus4, plan.Modbus4);
    copyInto(t.ModbusPack, plan.ModbusPack);
    copyInto(t.ModbusNew, plan.ModbusNew);
}

bool SendPlannedFrame(TUdpSvr &svr, const TPlannedFrame &f, const QString &user, const QString &password)
{
    if (f.Payload.isEmpty())
        return svr.SendCmdQ2(f.BindingIndex, f.Mac, f.Cmd, user, password, f.Dest);
    return svr.SendBlockQ2(f.BindingIndex, f.Mac, f.Cmd, user, password,
                           reinterpret_cast<const uint8_t *>(f.Payload.constData()), int(f.Payload.size()), f.Dest);
}

void SendQ2Plan(const TQ2WritePlan &plan, TUdpSvr &svr, TModuleRecord &module, const QString &user,
                const QString &password, const std::function<void(int)> &pause)
{
    KeepPlanTemplates(plan, module);
    for (const TPlannedFrame &f : plan.Frames) {
        SendPlannedFrame(svr, f, user, password);
        if (f.PauseAfterMs > 0 && pause)
            pause(f.PauseAfterMs);
    }
}

TQ2WritePlan WriteQ2Network(const TQ2Page &page, TUdpSvr &svr, TModuleRecord *module, ILogSink &log,
                            const std::function<void(int)> &pause)
{
    TQ2WritePlan plan = PlanQ2Write(page, module);
    switch (plan.Status) {
    case TQ2WriteStatus::NoRow:
        log.AddLog(GetLangText(QStringLiteral("lang_Hint_NoTarget")), TLogColor::Red);
        return plan;
    case TQ2WriteStatus::NotConverted:
        log.AddLog(QStringLiteral("Error: %1").arg(plan.Message), TLogColor::Red);
        return plan;
    case TQ2WriteStatus::Ready: break;
    default: return plan;
    }
    SendQ2Plan(plan, svr, *module, LoginName, LoginPswd, pause);
    plan.Status = TQ2WriteStatus::Sent;
    return plan;
}
