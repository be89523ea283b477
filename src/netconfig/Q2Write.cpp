#include "netconfig/Q2Write.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"

namespace {
QByteArray bytes(const uint8_t *p, int n) { return QByteArray(reinterpret_cast<const char *>(p), n); }
uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
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

TQ2WritePlan PlanQ2Write(const TQ2Page &page, const TUdpSvr &svr, const TDeviceRow *row)
{
    TQ2WritePlan plan;
    if (!row) {
        plan.Status = TQ2WriteStatus::NoRow;
        return plan;
    }
    if (row->Model != ModelQ2) {
        plan.Status = TQ2WriteStatus::WrongModel;
        return plan;
    }
    // Only what this module's write carries is checked.
    if (!page.ValidateQ2Page(plan.Message, RowVersion(*row))) {
        plan.Status = TQ2WriteStatus::Invalid;
        return plan;
    }
    const auto fail = [&](const TEncodeResult &r, const QString &field) {
        plan.Status = TQ2WriteStatus::NotConverted;
        plan.Message = TQ2Page::FieldLabel(field.isEmpty() ? r.Field : field);
        plan.Frames.clear();
        return plan;
    };

    const QString rowMac = row->MacDigits();
    const int version = RowVersion(*row);
    plan.Read = bytes(svr.LastRead.data(), int(svr.LastRead.size()));
    plan.HeartReg = bytes(svr.LastHeartReg.data(), LenHeartReg);
    plan.Httpd = bytes(svr.LastHttpd.data(), LenHttpd);
    plan.Modbus4 = bytes(svr.LastModbus4.data(), 4);
    plan.ModbusPack = bytes(svr.LastModbusPack.data(), LenModbusPack);
    plan.ModbusNew = bytes(svr.LastModbusNew.data(), LenModbusNew);
    const auto frame = [&](uint8_t cmd, const QByteArray &payload, bool fromRow, int pause) {
        plan.Frames.append({cmd, payload, fromRow ? row->BindingIndex : CurBindingIndex, fromRow ? rowMac : CurMac, pause});
    };

    // Base and port blocks start from the records of the last read, so that a list without a
    // selection writes back what the module sent.
    TBaseParam base = DecodeBaseParam(U(plan.Read));
    if (auto r = page.ReadBase(base); !r)
        return fail(r, {});
    if (auto r = EncodeBaseParam(base, U(plan.Read), LastOptByte); !r)
        return fail(r, {});
    frame(CmdWriteBase, plan.Read.left(LenBase), true, BlockPauseMs);

    TPortParam port = DecodePortParam(U(plan.Read) + LenBase);
    if (auto r = page.ReadPort(port); !r)
        return fail(r, {});
    if (auto r = EncodePortParam(port, U(plan.Read) + LenBase, LastPortOptByte); !r)
        return fail(r, {});
    frame(CmdWritePort, plan.Read.mid(LenBase, LenPort), true, BlockPauseMs);

    if (version > 4016) {
        THeartRegParam h;
        if (auto r = page.ReadHeartReg(h); !r)
            return fail(r, {});
        if (auto r = EncodeHeartRegParam(h, U(plan.HeartReg)); !r)
            return fail(r, {});
        frame(CmdWriteHeartReg, plan.HeartReg, false, BlockPauseMs);
    }
    if (page.RzGroupBoxHttpd.Visible && version > 4016) {
        const THttpdParam h = page.ReadHttpd();
        EncodeHttpdUrl(h.Url, U(plan.Httpd));
        frame(CmdWriteHttpdUrl, plan.Httpd.left(LenHttpdUrl), false, BlockPauseMs);
        EncodeHttpdHeader(h.Header, U(plan.Httpd));
        frame(CmdWriteHttpdHead, plan.Httpd.mid(LenHttpdUrl, LenHttpdHead), false, BlockPauseMs);
    }
    if (page.rzgrpbxModbus.Visible) {
        TModbusParam m;
        int length = 1;
        if (auto r = page.ReadModbus(m, length); !r)
            return fail(r, {});
        if (auto r = EncodeModbusParam(m, U(plan.Modbus4)); !r)
            return fail(r, QStringLiteral("WaitTime"));
        frame(CmdWriteModbus, plan.Modbus4.left(length), false, 0);
    }
    if (page.RzGroupBox1.Visible) {
        const TModbusPackParam m = page.ReadModbusPack();
        if (m.ModbusType >= 0) {
            if (auto r = EncodeModbusPackParam(m, U(plan.ModbusPack)); !r)
                return fail(r, {});
        }
        frame(CmdWriteModbus, plan.ModbusPack, false, 0);
    }
    if (page.rzgrpbxModbusNew.Visible) {
        const TModbusNewParam m = page.ReadModbusNew();
        if (m.PollMode >= 0) {
            if (auto r = EncodeModbusNewParam(m, U(plan.ModbusNew)); !r)
                return fail(r, r.Field + QStringLiteral("1"));
        }
        frame(CmdWriteModbus, plan.ModbusNew, false, 0);
    }
    if (!plan.Frames.isEmpty())
        plan.Frames.last().PauseAfterMs += RestartPauseMs;
    frame(CmdRestart, QByteArray(), true, 0);
    plan.Status = TQ2WriteStatus::Ready;
    return plan;
}

TQ2WritePlan WriteQ2Network(const TQ2Page &page, TUdpSvr &svr, const TDeviceRow *row, ILogSink &log,
                            const std::function<void(int)> &pause)
{
    TQ2WritePlan plan = PlanQ2Write(page, svr, row);
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
    // The templates change with every write, as with every reply.
    copyInto(svr.LastRead, plan.Read);
    copyInto(svr.LastHeartReg, plan.HeartReg);
    copyInto(svr.LastHttpd, plan.Httpd);
    copyInto(svr.LastModbus4, plan.Modbus4);
    copyInto(svr.LastModbusPack, plan.ModbusPack);
    copyInto(svr.LastModbusNew, plan.ModbusNew);
    for (const TPlannedFrame &f : plan.Frames) {
        if (f.Payload.isEmpty())
            svr.SendCmdQ2(f.BindingIndex, f.Mac, f.Cmd, LoginName, LoginPswd);
        else
            svr.SendBlockQ2(f.BindingIndex, f.Mac, f.Cmd, LoginName, LoginPswd,
                            reinterpret_cast<const uint8_t *>(f.Payload.constData()), int(f.Payload.size()));
        if (f.PauseAfterMs > 0 && pause)
            pause(f.PauseAfterMs);
    }
    plan.Status = TQ2WriteStatus::Sent;
    return plan;
}
