#include "serial/SerialProtocol.h"

#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/Codecs.h"
#include "netconfig/ModelInfo.h"

#include <QThread>

namespace {

const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }
uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }

QByteArray request(uint8_t code)
{
    QByteArray f(2, '\0');
    f[0] = char(ComHead);
    f[1] = char(code);
    return f;
}

TSerialWritePlan failed(TSerialWriteStatus status, const QString &field = {})
{
    TSerialWritePlan plan;
    plan.Status = status;
    plan.Field = field;
    return plan;
}

TSerialWritePlan invalid(const QString &message)
{
    TSerialWritePlan plan = failed(TSerialWriteStatus::Invalid);
    plan.Message = message;
    return plan;
}

} // namespace

uint8_t SerialReadRequest(int model)
{
    return ModelInfo(model).SerialRead;
}

QByteArray BuildSerialBlockFrame(uint8_t code, const QByteArray &block)
{
    QByteArray f = request(code) + block;
    f.append(char(Sum8(U(block), int(block.size()))));
    return f;
}

bool IsValidQ1SerialReply(const uint8_t *reply, int length)
{
    return length == LenComQ1 && reply[0] == ComHead && reply[1] == ComReadQ1 && reply[31] == Sum8(reply + 2, 29);
}

bool BuildQ1SerialFrame(TQ1Page &page, QByteArray &frame, QString *failedField)
{
    QByteArray f(LenComQ1Frame, '\0');
    f[0] = char(ComHead);
    f[1] = char(ComWriteQ1);
    if (!WriteQ1Fields(page, U(f) + 2, failedField)) {
        frame.clear();
        return false;
    }
    f[30] = char(Sum8(U(f) + 2, Q1FieldsSize));
    frame = f;
    return true;
}

TSerialWritePlan PlanSerialWrite(int model, const TQ2Page &q2, TQ1Page &q1, const QByteArray &template130,
                                 const QStringList &named)
{
    const int page = ModelInfo(model).SerialPage;
    if (page == PageQ1) {
        QByteArray frame;
        QString field;
        if (QString message; !q1.ValidateQ1Page(message))
            return invalid(message);
        if (!BuildQ1SerialFrame(q1, frame, &field))
            return failed(TSerialWriteStatus::NotConverted, field);
        TSerialWritePlan plan;
        plan.Frames << frame;
        plan.AcksNeeded = 1;
        return plan;
    }
    if (page != PageQ2)
        return failed(TSerialWriteStatus::UnknownModel);
    // Without a reply of this run there is nothing to start the blocks from: the bytes the page
    // does not set would be undefined.
    if (template130.size() != LenBase + LenPort)
        return failed(TSerialWriteStatus::NoTemplate);
    // The line carries the base and port blocks only; the page hides everything else.
    if (QString message; !q2.ValidateQ2Page(message, named))
        return invalid(message);

    QByteArray blocks = template130;
    TBaseParam base = DecodeBaseParam(U(blocks));
    if (auto r = q2.ReadBase(base); !r)
        return failed(TSerialWriteStatus::NotConverted, r.Field);
    // The option bits the page does not own come from this template, never from another read.
    if (auto r = EncodeBaseParam(base, U(blocks), U(template130)[3]); !r)
        return failed(TSerialWriteStatus::NotConverted, r.Field);
    TPortParam port = DecodePortParam(U(blocks) + LenBase);
    if (auto r = q2.ReadPort(port); !r)
        return failed(TSerialWriteStatus::NotConverted, r.Field);
    if (auto r = EncodePortParam(port, U(blocks) + LenBase, U(template130)[LenBase + 50]); !r)
        return failed(TSerialWriteStatus::NotConverted, r.Field);

    TSerialWritePlan plan;
    plan.Frames << BuildSerialBlockFrame(ComWriteBase, blocks.left(LenBase))
                << BuildSerialBlockFrame(ComWritePort, blocks.mid(LenBase, LenPort))
                << request(ComFinishQ2) + char(ComFinishQ2Tail);
    plan.AcksNeeded = 2;
    return plan;
}

TSerialProtocol::TSerialProtocol(TSerialSession &session, TQ2Page &q2, TQ1Page &q1)
    : Pause(BlockingPause), FSession(session), FQ2(q2), FQ1(q1)
{
    FSession.OnReceiveData = [this](const uint8_t *buffer, uint16_t length) { HandleSerialData(buffer, length); };
}

void TSerialProtocol::BlockingPause(int ms)
{
    QThread::msleep(ulong(std::max(ms, 0)));
}

TSerialProtocol::~TSerialProtocol()
{
    FSession.OnReceiveData = nullptr;
}

void TSerialProtocol::Show(int page)
{
    PageMode = page;
    if (ShowPage)
        ShowPage(page);
}

void TSerialProtocol::Filled(int page)
{
    if (PageFilled)
        PageFilled(page);
}

void TSerialProtocol::HandleSerialData(const uint8_t *b, int n)
{
    ILogSink &log = FSession.Log();
    try {
        if (n < 0 || (n > 0 && !b))
            n = 0;
        const QByteArray chunk(reinterpret_cast<const char *>(b), n);
        log.AddHex(SerialDirectionLine(false), TLogColor::Green);
        log.AddHex(SerialLengthLine(n), TLogColor::Green);
        log.AddHexInfo(BytesToHexSpaced(chunk));

        switch (n) {
        case LenComAck:
            if (b[0] == ComAccepted) {
                ++AckCount;
                log.AddLogInfo(GetLangText(QStringLiteral("lang_Ts_ComSetOk")));
            } else if (Unrecognised.size() < 1000) {
                Unrecognised << n;
            }
            return;
        case LenComQ1:
            ++Recognised;
            ApplyQ1SerialReply(b);
            return;
        case LenComQ2: {
            ++Recognised;
            LastOptByte = b[2 + 3];
            LastPortOptByte = b[2 + LenBase + 50];
            LastRead = chunk.mid(2, LenBase + LenPort);
            const TBaseParam base = DecodeBaseParam(b + 2);
            const TarrComParam ports{DecodePortParam(b + 2 + LenBase)};
            if (FQ2.OnReadParam(base, ports, true, ModelQ2, QString(), log))
                Show(PageQ2);
            Filled(PageQ2);
            FSession.SendSerialFrame(request(ComReadDone));
            return;
        }
        case LenComQ2Extra: {
            ++Recognised;
            LastExtra = chunk;
            // The first 30 bytes are laid out as the start of the network's cloud reply.
            FQ2.OnReadCloud(TarrCloudParam{DecodeCloudParam(b)}, true, ModelQ2);
            const QByteArray heart = chunk.mid(30, LenHeartReg);
            FQ2.OnReadHeartReg(U(heart), true, ModelQ2);
            Filled(PageQ2);
            return;
        }
        default:
            // Another length, or a reply cut in two by a pause: traced only.
            if (Unrecognised.size() < 1000)
                Unrecognised << n;
            return;
        }
    } catch (...) {
        // A reply must never take the receive path down.
    }
}

bool TSerialProtocol::ApplyQ1SerialReply(const uint8_t *reply)
{
    ILogSink &log = FSession.Log();
    if (!IsValidQ1SerialReply(reply, LenComQ1)) {
        ++RefusedQ1Replies;
        log.AddLog(GetLangText(QStringLiteral("lang_DataHeadOrChkErr")), TLogColor::Red);
        return false;
    }
    try {
        Show(PageQ1);
        FQ1.ModuleWorkChange(0);
        ReadQ1Fields(reply + 2, FQ1);
        FQ1.ModuleWorkChange();
        LastQ1Reply = QByteArray(reinterpret_cast<const char *>(reply), LenComQ1);
        Filled(PageQ1);
        log.AddLogInfo(GetLangText(QStringLiteral("lang_ts_Read")) + GetLangText(QStringLiteral("lang_ts_OK")));
        return true;
    } catch (...) {
        log.AddLog(QStringLiteral("Error"), TLogColor::Red);
        return false;
    }
}

TSerialWritePlan TSerialProtocol::WriteParamsSerial(int model)
{
    TSerialWritePlan plan;
    try {
        plan = PlanSerialWrite(model, FQ2, FQ1, LastRead);
        switch (plan.Status) {
        case TSerialWriteStatus::Ready: break;
        case TSerialWriteStatus::UnknownModel: return plan;
        case TSerialWriteStatus::Invalid: refuse(plan.Message); return plan;
        case TSerialWriteStatus::NoTemplate:
        case TSerialWriteStatus::NotConverted:
            FSession.Log().AddLog(QStringLiteral("Error"), TLogColor::Red);
            return plan;
        }
        for (qsizetype i = 0; i < plan.Frames.size(); ++i) {
            FSession.SendSerialFrame(plan.Frames[i]);
            if (ModelInfo(model).SerialPage == PageQ2 && i + 1 < plan.Frames.size() && Pause)
                Pause(ComBlockPauseMs);
        }
    } catch (...) {
        // Sends and pauses report their own failures; nothing may escape the button.
    }
    return plan;
}

namespace {
// Ends a read's session whatever happens inside it, and gives the read button back.
struct TReadSessionEnd {
    TSerialSession &Session;
    const std::function<void(bool)> &ReadButtonEnabled;
    ~TReadSessionEnd()
    {
        try {
            Session.StopSerial();
        } catch (...) {
        }
        if (ReadButtonEnabled)
            ReadButtonEnabled(true);
    }
};
} // namespace

void TSerialProtocol::ComRead(int model)
{
    if (ClearPanes)
        ClearPanes();
    if (ReadButtonEnabled)
        ReadButtonEnabled(false);
    FSession.StartSerial();
    const TReadSessionEnd end{FSession, ReadButtonEnabled};
    RequestModel = model == ModelQ2 ? ModelQ2 : model == ModelQ3 ? ModelQ3 : ModelQ1;
    FSession.SendSerialFrame(request(SerialReadRequest(model)));
    if (FSession.Wait)
        FSession.Wait(TSerialSession::SerialWaitMs);
}

void TSerialProtocol::ComReadAnyModel(int firstModel)
{
    if (ClearPanes)
        ClearPanes();
    if (ReadButtonEnabled)
        ReadButtonEnabled(false);
    FSession.StartSerial();
    const TReadSessionEnd end{FSession, ReadButtonEnabled};
    const int first = firstModel == ModelQ2 ? ModelQ2 : firstModel == ModelQ3 ? ModelQ3 : ModelQ1;
    const int second = first == ModelQ2 ? ModelQ1 : ModelQ2;
    const int before = Recognised;
    for (int model : {first, second}) {
        RequestModel = model;
        FSession.SendSerialFrame(request(SerialReadRequest(model)));
        if (FSession.Wait)
            FSession.Wait(TSerialSession::SerialWaitMs);
        // A port that did not open has had its red line; there is nobody to ask.
        if (Recognised != before || !FSession.SerialOpened())
            return;
    }
    FSession.Log().AddLog(GetLangText(QStringLiteral("lang_Hint_ComNoReply")), TLogColor::Red);
}

void TSerialProtocol::ComWrite(int model)
{
    // A page the checks refuse does not even open the port.
    try {
        if (const TSerialWritePlan plan = PlanSerialWrite(model, FQ2, FQ1, LastRead);
            plan.Status == TSerialWriteStatus::Invalid) {
            refuse(plan.Message);
            return;
        }
    } catch (...) {
        return;
    }
    FSession.RunSession([this, model] { WriteParamsSerial(model); });
}

void TSerialProtocol::refuse(const QString &message)
{
    if (ShowMessage)
        ShowMessage(message);
    else
        FSession.Log().AddLog(message, TLogColor::Red);
}
