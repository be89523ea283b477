#include "upgrade/UpgradeFleet.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <algorithm>

namespace {

const QString KeyReady = QStringLiteral("lang_Hint_UpReady");
const QString KeySuccess = QStringLiteral("lang_Hint_UpSuccess");
const QString KeyQueued = QStringLiteral("lang_Hint_UpFleetQueued");
const QString KeyLooking = QStringLiteral("lang_Hint_UpFleetLooking");
const QString KeyBack = QStringLiteral("lang_Hint_UpFleetBack");
const QString KeyNotBack = QStringLiteral("lang_Hint_UpFleetNotBack");
const QString KeyResetting = QStringLiteral("lang_Hint_UpFleetResetting");
const QString KeyResetDone = QStringLiteral("lang_Hint_UpFleetResetDone");
const QString KeyResetFailed = QStringLiteral("lang_Hint_UpFleetResetFailed");
const QString KeyStopped = QStringLiteral("lang_Hint_UpFleetStopped");
const QString KeySkipped = QStringLiteral("lang_Hint_UpFleetSkipped");
const QString KeyOneAtATime = QStringLiteral("lang_Hint_UpFleetOneAtATime");

// No module holds more; a bigger file is a mistake (or a device, a FIFO), not firmware.
constexpr qint64 MaxImageSize = 16 * 1024 * 1024;

constexpr int XidOffset = 4; // the transaction ID
constexpr int HwAddrOffset = 28;

uint8_t at(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]); }

// A strict dotted quad, as the attempt reads the addresses it is given.
bool dottedQuad(const QString &text, uint32_t &out)
{
    try {
        const std::array<uint8_t, 4> b = UpAddressBytes(text);
        out = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
        return true;
    } catch (const EConvertError &) {
        return false;
    }
}

bool ipv4(const QString &text, uint32_t &out)
{
    QHostAddress a;
    if (!a.setAddress(text))
        return false;
    bool ok = false;
    out = a.toIPv4Address(&ok);
    return ok;
}

QString macDigits(const QString &mac) { return RemoveSpaces(mac).remove(u':').remove(u'-').toUpper(); }

QString spacedMac(const uint8_t *mac)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), 6).toHex(' ').toUpper());
}

} // namespace

QString UpImageFileProblem(const QString &path, QByteArray *id, bool *tooShort)
{
    if (tooShort)
        *tooShort = false;
    if (path.isEmpty())
        return GetLangText(QStringLiteral("lang_Hint_UpNoFileName")).trimmed();
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a regular file").arg(path);
    if (info.size() > MaxImageSize)
        return QStringLiteral("%1 has %2 bytes, more than the %3 bytes a module can hold")
            .arg(path)
            .arg(info.size())
            .arg(MaxImageSize);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
    const QByteArray head = file.read(UpHwIdLen);
    if (head.size() < UpHwIdLen && tooShort)
        *tooShort = true;
    if (head.size() < UpHwIdLen)
        return QStringLiteral("%1 has %2 bytes, too few for the 4-byte hardware identifier").arg(path).arg(file.size());
    if (id)
        *id = head;
    return {};
}

QString UpFleetResultName(TUpFleetResult r)
{
    switch (r) {
    case TUpFleetResult::Waiting: return QStringLiteral("waiting");
    case TUpFleetResult::Ok: return QStringLiteral("ok");
    case TUpFleetResult::Mismatch: return QStringLiteral("mismatch");
    case TUpFleetResult::TimedOut: return QStringLiteral("time-out");
    case TUpFleetResult::Failed: return QStringLiteral("failed");
    case TUpFleetResult::NotBack: return QStringLiteral("not back");
    case TUpFleetResult::Stopped: return QStringLiteral("stopped");
    case TUpFleetResult::Skipped: return QStringLiteral("skipped");
    case TUpFleetResult::NotFound: return QStringLiteral("not found");
    }
    return QStringLiteral("?");
}

QString TUpFleetModule::StatusText() const
{
    return StatusKey.isEmpty() ? StatusSuffix : GetLangText(StatusKey) + StatusSuffix;
}

// ---------------------------------------------------------------------------------------------
// One module's view of the shared bindings: opening it only takes the fleet's ports, closing it
// only stops this module's sends and datagrams.

class TUpgradeFleet::TLink : public IUpgradeNet {
public:
    explicit TLink(TUpgradeFleet &fleet) : F(fleet) {}
    bool Open(const QString &, TUpgradePorts &ports, QString &reason) override
    {
        if (!F.FNet->IsOpen()) {
            reason = QStringLiteral("the upgrade bindings are not open");
            return false;
        }
        ports = F.Ports;
        FOpen = true;
        return true;
    }
    void Close() override { FOpen = false; }
    bool IsOpen() const override { return FOpen; }
    bool Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port, QString &reason) override
    {
        if (!FOpen) {
            reason = QStringLiteral("this module's upgrade has ended");
            return false;
        }
        return F.FNet->Send(from, bytes, host, port, reason);
    }

private:
    TUpgradeFleet &F;
    bool FOpen = false;
};

// A module's log lines, led by its MAC; the last red one is why it failed.
class TUpgradeFleet::TModuleLog : public ILogSink {
public:
    TModuleLog(TUpgradeFleet &fleet, const QString &prefix) : F(fleet), Prefix(prefix) {}
    void AddLog(const QString &text, TLogColor color) override
    {
        if (color == TLogColor::Red)
            LastError = text;
        if (F.Log)
            F.Log->AddLog(Prefix + text, color);
    }
    void AddHex(const QString &text, TLogColor color) override
    {
        if (F.Log)
            F.Log->AddHex(text, color);
    }
    QString LastError;

private:
    TUpgradeFleet &F;
    QString Prefix;
};

struct TUpgradeFleet::TSlot {
    // The link first: the attempt closes it when it goes.
    std::unique_ptr<TLink> Link;
    std::unique_ptr<TModuleLog> Log;
    std::unique_ptr<TUpgradeAttempt> Attempt;
    std::array<uint8_t, 6> Mac{};
    bool MacValid = false;
    uint32_t Addr = 0;
    bool AddrValid = false;
    bool MacMatched = false;    // a request with its MAC came: it needs no turn of its own
    bool BootpAnswered = false; // this attempt answered a BOOTP request
    bool Served = false;        // this attempt took its read request
    QString Refusal;            // why its start was refused
    QElapsedTimer Transfer;
    QElapsedTimer Back;
};

// ---------------------------------------------------------------------------------------------

TUpgradeFleet::TUpgradeFleet(IUpgradeNet *net, QObject *parent) : QObject(parent), FNet(net)
{
    if (!FNet) {
        FOwnNet = std::make_unique<TUpgradeUdpNet>();
        FNet = FOwnNet.get();
    }
    FNet->OnDatagram = [this](uint16_t port, const QByteArray &bytes, const QString &sender) {
        route(port, bytes, sender);
    };
    FPumpTimer.setSingleShot(true);
    FPumpTimer.setInterval(0);
    connect(&FPumpTimer, &QTimer::timeout, this, &TUpgradeFleet::pump);
    FSettleTimer.setSingleShot(true);
    FSettleTimer.setTimerType(Qt::PreciseTimer);
    connect(&FSettleTimer, &QTimer::timeout, this, &TUpgradeFleet::pump);
    connect(&FSearchTimer, &QTimer::timeout, this, &TUpgradeFleet::searchTick);
    FResetTimer.setSingleShot(true);
    connect(&FResetTimer, &QTimer::timeout, this,
            [this] { ResetAnswered(FPendingReset, false, QStringLiteral("no answer to the factory reset")); });
}

TUpgradeFleet::~TUpgradeFleet()
{
    FRunning = false;
    for (QTimer *t : {&FPumpTimer, &FSettleTimer, &FSearchTimer, &FResetTimer})
        t->stop();
    for (auto &s : FSlots)
        if (s->Attempt) {
            s->Attempt->OnStatus = nullptr;
            s->Attempt->OnProgress = nullptr;
            s->Attempt->OnButtons = nullptr;
            s->Attempt->OnMessageBox = nullptr;
            s->Attempt->OnFinished = nullptr;
        }
    FSlots.clear();
    FNet->OnDatagram = nullptr;
    FNet->Close();
}

const TUpgradeAttempt *TUpgradeFleet::Attempt(int index) const
{
    return index >= 0 && index < int(FSlots.size()) ? FSlots[size_t(index)]->Attempt.get() : nullptr;
}

bool TUpgradeFleet::Start(const QList<TUpFleetTarget> &targets, const QString &localIP, const QString &binFile,
                          QString &reason)
{
    Failure = TUpgradeFailure();
    const auto refuse = [&](const QString &why, TUpFailureKind kind = TUpFailureKind::Other) {
        reason = why;
        Failure = UpFailure(kind, kind == TUpFailureKind::Other ? QString() : binFile, why);
        return false;
    };
    if (FRunning)
        return refuse(QStringLiteral("an upgrade is running already"));
    if (targets.isEmpty())
        return refuse(QStringLiteral("no module to upgrade"));
    uint32_t local = 0;
    if (!dottedQuad(localIP, local))
        return refuse(QStringLiteral("'%1' is not an IPv4 address of this machine").arg(localIP));
    // The file is looked at once, before any port is bound: every module gets the same checks.
    QByteArray id;
    bool tooShort = false;
    if (const QString problem = UpImageFileProblem(binFile, &id, &tooShort); !problem.isEmpty())
        return refuse(problem, binFile.isEmpty() ? TUpFailureKind::Other
                               : tooShort        ? TUpFailureKind::FileTooShort
                                                 : TUpFailureKind::FileUnreadable);

    FModules.clear();
    FSlots.clear();
    for (const TUpFleetTarget &t : targets) {
        TUpFleetModule m;
        m.Target = t;
        m.StatusKey = KeyQueued;
        FModules.push_back(m);
        auto slot = std::make_unique<TSlot>();
        try {
            MacToBytes(t.MAC, slot->Mac.data());
            slot->MacValid = true;
        } catch (const EConvertError &) {
            // The module's attempt says so when its turn comes.
        }
        slot->AddrValid = dottedQuad(t.IP, slot->Addr);
        FSlots.push_back(std::move(slot));
    }
    FNet->Close();
    if (!FNet->Open(IntToIP(local), Ports, reason)) {
        Failure = FNet->OpenFailure();
        if (Failure.Kind == TUpFailureKind::Other && Failure.Detail.isEmpty())
            Failure.Detail = reason;
        return false;
    }
    FLocalIP = IntToIP(local);
    FBinFile = binFile;
    FHwId = id;
    FOneAtATime = false;
    FSettleUntilMs = 0;
    FKeyOwner.clear();
    FResetQueue.clear();
    FPendingReset = -1;
    FClock.start();
    FRunning = true;
    pump();
    return true;
}

void TUpgradeFleet::log(int i, const QString &text, TLogColor color)
{
    if (!Log)
        return;
    if (i >= 0 && FSlots[size_t(i)]->MacValid)
        Log->AddLog(spacedMac(FSlots[size_t(i)]->Mac.data()) + QStringLiteral(": ") + text, color);
    else if (i >= 0)
        Log->AddLog(FModules[size_t(i)].Target.MAC + QStringLiteral(": ") + text, color);
    else
        Log->AddLog(text, color);
}

void TUpgradeFleet::changed(int i)
{
    if (OnModuleChanged)
        OnModuleChanged(i);
}

void TUpgradeFleet::setStatus(int i, const QString &key, const QString &suffix)
{
    TUpFleetModule &m = FModules[size_t(i)];
    if (m.StatusKey == key && m.StatusSuffix == suffix)
        return;
    m.StatusKey = key;
    m.StatusSuffix = suffix;
    changed(i);
}

void TUpgradeFleet::schedule()
{
    if (FRunning && !FPumpTimer.isActive())
        FPumpTimer.start();
}

bool TUpgradeFleet::canaryHolds() const
{
    if (!Options.Canary || FModules.empty())
        return false;
    const TUpFleetModule &first = FModules.front();
    return !(first.Phase == TUpFleetPhase::Ended && first.Result == TUpFleetResult::Ok);
}

void TUpgradeFleet::pump()
{
    if (!FRunning)
        return;
    if (Options.Canary && !FModules.empty() && FModules.front().Phase == TUpFleetPhase::Ended &&
        FModules.front().Result != TUpFleetResult::Ok) {
        for (int i = 1; i < int(FModules.size()); ++i)
            if (FModules[size_t(i)].Phase == TUpFleetPhase::Queued) {
                FModules[size_t(i)].StatusKey = KeySkipped;
                FModules[size_t(i)].StatusSuffix.clear();
                endModule(i, TUpFleetResult::Skipped, QStringLiteral("not started: the first module did not succeed"));
            }
    }
    const int parallel = std::max(1, Options.Parallel);
    const auto running = [this] {
        return int(std::count_if(FModules.begin(), FModules.end(), [](const TUpFleetModule &m) { return m.Running(); }));
    };
    const auto holders = [this] {
        QList<int> out;
        for (int i = 0; i < int(FModules.size()); ++i)
            if (FModules[size_t(i)].Phase == TUpFleetPhase::Searching && !FSlots[size_t(i)]->MacMatched)
                out << i;
        return out;
    };
    const bool hold = canaryHolds();
    for (int i = 0; i < int(FModules.size()) && FRunning; ++i) {
        if (FModules[size_t(i)].Phase != TUpFleetPhase::Queued)
            continue;
        if (hold && i > 0)
            break;
        if (running() >= parallel)
            break;
        if (FOneAtATime) {
            // One module at a time between its trigger and its read request, and none before
            // the strays of the turns given back have died down.
            const qint64 left = FSettleUntilMs - FClock.elapsed();
            if (left > 0) {
                FSettleTimer.start(int(left));
                break;
            }
            if (!holders().isEmpty())
                break;
        }
        // Read requests and acknowledgements are told apart by the sender's address: a module
        // that shares it with a running one waits.
        const TSlot &s = *FSlots[size_t(i)];
        bool shared = false;
        for (int j = 0; j < int(FModules.size()); ++j)
            if (j != i && FModules[size_t(j)].Running() && s.AddrValid && FSlots[size_t(j)]->AddrValid &&
                FSlots[size_t(j)]->Addr == s.Addr)
                shared = true;
        if (shared)
            continue;
        launch(i);
    }
    if (!FRunning)
        return;
    const bool transfersLeft = std::any_of(FModules.begin(), FModules.end(), [](const TUpFleetModule &m) {
        return m.Phase == TUpFleetPhase::Queued || m.Running();
    });
    if (!transfersLeft)
        FNet->Close(); // the ports go back as soon as no transfer needs them
    finishIfDone();
}

void TUpgradeFleet::launch(int i)
{
    TSlot &s = *FSlots[size_t(i)];
    TUpFleetModule &m = FModules[size_t(i)];
    if (!s.Attempt) {
        s.Link = std::make_unique<TLink>(*this);
        s.Log = std::make_unique<TModuleLog>(
            *this, (s.MacValid ? spacedMac(s.Mac.data()) : m.Target.MAC) + QStringLiteral(": "));
        s.Attempt = std::make_unique<TUpgradeAttempt>(s.Link.get());
        TUpgradeAttempt *a = s.Attempt.get();
        a->OnStatus = [this, i](const QString &key, const QString &text) {
            if (FModules[size_t(i)].Phase == TUpFleetPhase::Queued || FModules[size_t(i)].Phase == TUpFleetPhase::Ended)
                return;
            const QString own = GetLangText(key);
            setStatus(i, key, text.startsWith(own) ? text.mid(own.size()) : QString());
            if (key == KeyReady)
                FSlots[size_t(i)]->BootpAnswered = true;
        };
        a->OnProgress = [this, i, a](int percent) {
            if (a->State() == TUpgradeState::Serving)
                FModules[size_t(i)].Percent = percent;
        };
        a->OnMessageBox = [this, i](const QString &, const QString &text) { FSlots[size_t(i)]->Refusal = text; };
        a->OnFinished = [this, i](TUpgradeState end) { attemptEnded(i, end); };
    }
    TUpgradeAttempt *a = s.Attempt.get();
    a->Times = Times;
    a->Log = s.Log.get();
    a->LogTraffic = LogTraffic;
    s.MacMatched = false;
    s.BootpAnswered = false;
    s.Served = false;
    s.Refusal.clear();
    s.Log->LastError.clear();
    m.Phase = TUpFleetPhase::Searching;
    m.Result = TUpFleetResult::Waiting;
    m.Percent = 0;
    m.Blocks = 0;
    m.Reason.clear();
    s.Transfer.start();
    if (!a->Program({m.Target.IP, m.Target.MAC, FLocalIP, FBinFile})) {
        // Refused before its start (no address, another network): the box's or the line's text.
        if (!s.Refusal.isEmpty())
            setStatus(i, QString(), s.Refusal);
        endModule(i, TUpFleetResult::Failed, s.Refusal.isEmpty() ? m.StatusText().trimmed() : s.Refusal);
        return;
    }
    if (m.Phase == TUpFleetPhase::Searching)
        m.TotalBlocks = a->LastBlock();
}

void TUpgradeFleet::requeue(int i)
{
    TSlot &s = *FSlots[size_t(i)];
    FModules[size_t(i)].Phase = TUpFleetPhase::Queued; // first, so the attempt's last reports are not taken
    if (s.Attempt)
        s.Attempt->Exit();
    FModules[size_t(i)].Percent = 0;
    setStatus(i, KeyQueued);
    changed(i);
}

void TUpgradeFleet::attemptEnded(int i, TUpgradeState end)
{
    TUpFleetModule &m = FModules[size_t(i)];
    if (m.Phase == TUpFleetPhase::Queued || m.Phase == TUpFleetPhase::Ended)
        return;
    TSlot &s = *FSlots[size_t(i)];
    const TUpgradeAttempt &a = *s.Attempt;
    const bool serving = m.Phase == TUpFleetPhase::Serving;
    m.Seconds = s.Transfer.nsecsElapsed() / 1e9;
    m.Blocks = end == TUpgradeState::Done ? a.UpBlock : serving ? std::max(0, a.UpBlock - 1) : 0;
    switch (end) {
    case TUpgradeState::Done:
        m.Percent = 100;
        if (!Options.LookBack) {
            endModule(i, TUpFleetResult::Ok);
            return;
        }
        m.Phase = TUpFleetPhase::LookingBack;
        s.Back.start();
        setStatus(i, KeyLooking);
        if (!FSearchTimer.isActive()) {
            FSearchTimer.start(std::max(1, Options.SearchEveryMs));
            QTimer::singleShot(0, this, &TUpgradeFleet::searchTick);
        }
        schedule();
        return;
    case TUpgradeState::Mismatch:
        endModule(i, TUpFleetResult::Mismatch, QStringLiteral("its boot loader announced another hardware identifier "
                                                              "than the file's %1")
                                                   .arg(QString::fromLatin1(FHwId.toHex(' ').toUpper())));
        return;
    case TUpgradeState::TimedOut: {
        QString why;
        if (serving)
            why = QStringLiteral("block %1 was not acknowledged after %2 retransmissions").arg(a.UpBlock).arg(UpMaxRetries);
        else if (s.BootpAnswered)
            why = QStringLiteral("no read request within %1 ms of the trigger").arg(Times.SearchMs);
        else
            why = QStringLiteral("no BOOTP request within %1 ms of the trigger").arg(Times.SearchMs);
        endModule(i, TUpFleetResult::TimedOut, why);
        return;
    }
    default:
        endModule(i, TUpFleetResult::Failed,
                  s.Log->LastError.isEmpty() ? QStringLiteral("the upgrade failed") : s.Log->LastError);
        return;
    }
}

void TUpgradeFleet::endModule(int i, TUpFleetResult result, const QString &reason)
{
    TUpFleetModule &m = FModules[size_t(i)];
    const bool wasRunning = m.Running();
    m.Phase = TUpFleetPhase::Ended;
    m.Result = result;
    m.Reason = reason;
    if (wasRunning && FSlots[size_t(i)]->Attempt) {
        TUpgradeAttempt &a = *FSlots[size_t(i)]->Attempt;
        if (a.State() == TUpgradeState::Searching || a.State() == TUpgradeState::Serving)
            a.Exit();
    }
    // The attempt's own failure line is in the log already; everything else is said here.
    const TModuleLog *own = FSlots[size_t(i)]->Log.get();
    if (!reason.isEmpty() && result != TUpFleetResult::Ok && (!own || reason != own->LastError))
        log(i, reason, TLogColor::Red);
    changed(i);
    schedule();
}

void TUpgradeFleet::route(uint16_t localPort, const QByteArray &bytes, const QString &sender)
{
    if (!FRunning)
        return;
    if (localPort == Ports.Bootp && bytes.size() == UpBootpLen) {
        routeBootp(bytes, sender);
    } else if ((localPort == Ports.Tftp && bytes.size() == UpReadReqLen) ||
               (localPort == Ports.Data && bytes.size() == UpAckLen)) {
        const int i = runningAt(sender);
        if (i >= 0)
            deliver(i, localPort, bytes, sender);
    }
}

int TUpgradeFleet::runningAt(const QString &sender) const
{
    uint32_t v = 0;
    if (!ipv4(sender, v))
        return -1;
    for (int i = 0; i < int(FModules.size()); ++i)
        if (FModules[size_t(i)].Running() && FSlots[size_t(i)]->AddrValid && FSlots[size_t(i)]->Addr == v)
            return i;
    return -1;
}

void TUpgradeFleet::routeBootp(const QByteArray &bytes, const QString &sender)
{
    if (!UpBootpRequestFieldsOk(bytes))
        return;
    // Only a request an attempt would act on: with the file's identifier, or with byte 26 set,
    // which ends an attempt whose identifier differs. Anything else (a computer asking for an
    // address, someone else's boot loader) belongs to no module.
    if (bytes.mid(UpHwIdOffset, UpHwIdLen) != FHwId && at(bytes, 26) == 0)
        return;
    const QByteArray hw = bytes.mid(HwAddrOffset, 6);
    for (int i = 0; i < int(FModules.size()); ++i) {
        TSlot &s = *FSlots[size_t(i)];
        if (!s.MacValid || hw != QByteArray(reinterpret_cast<const char *>(s.Mac.data()), 6))
            continue;
        if (FModules[size_t(i)].Running()) {
            s.MacMatched = true;
            deliver(i, Ports.Bootp, bytes, sender);
        }
        return;
    }
    // A hardware address that is no target's MAC: the request is told by its address and its
    // transaction ID together.
    const QByteArray key = hw + bytes.mid(XidOffset, 4);
    if (const auto it = FKeyOwner.constFind(key); it != FKeyOwner.constEnd()) {
        const int owner = *it;
        if (owner >= 0 && FModules[size_t(owner)].Phase == TUpFleetPhase::Searching) {
            deliver(owner, Ports.Bootp, bytes, sender);
            return;
        }
        // A module that has sent its read request is past asking: the same request now comes
        // from the next boot loader. Anyone else's stays unanswered, so that a boot loader that
        // goes on asking never gets, or ends, another module's attempt.
        if (owner < 0 || !FSlots[size_t(owner)]->Served)
            return;
        FKeyOwner.remove(key);
    }
    QList<int> holders;
    for (int i = 0; i < int(FModules.size()); ++i)
        if (FModules[size_t(i)].Phase == TUpFleetPhase::Searching && !FSlots[size_t(i)]->MacMatched)
            holders << i;
    if (!FOneAtATime) {
        FOneAtATime = true;
        log(-1, GetLangText(KeyOneAtATime) + QStringLiteral(" (%1)").arg(spacedMac(reinterpret_cast<const uint8_t *>(hw.constData()))),
            TLogColor::Red);
        if (holders.size() > 1) {
            // Any of them may have sent it: none is answered, each gets a turn of its own.
            unattributed(key);
            for (int h : holders)
                requeue(h);
            FSettleUntilMs = FClock.elapsed() + std::max(0, Options.SettleMs);
            FSettleTimer.start(std::max(0, Options.SettleMs));
            return;
        }
    }
    if (holders.size() == 1) {
        FKeyOwner.insert(key, holders.first());
        deliver(holders.first(), Ports.Bootp, bytes, sender);
        return;
    }
    unattributed(key); // no module is waiting for it: a stray of an earlier turn
}

void TUpgradeFleet::unattributed(const QByteArray &key)
{
    FKeyOwner.insert(key, -1);
    log(-1, QStringLiteral("a BOOTP request from hardware address %1, transaction %2, could not be told to be "
                           "any one module's: not answered")
                .arg(spacedMac(reinterpret_cast<const uint8_t *>(key.constData())),
                     QString::fromLatin1(key.mid(6).toHex(' ').toUpper())),
        TLogColor::Red);
}

void TUpgradeFleet::deliver(int i, uint16_t localPort, const QByteArray &bytes, const QString &sender)
{
    TSlot &s = *FSlots[size_t(i)];
    if (!s.Link->OnDatagram)
        return;
    s.Link->OnDatagram(localPort, bytes, sender);
    TUpFleetModule &m = FModules[size_t(i)];
    if (!m.Running())
        return; // it ended inside
    const TUpgradeAttempt &a = *s.Attempt;
    if (a.State() == TUpgradeState::Serving) {
        m.Blocks = std::max(0, a.UpBlock - 1);
        s.Served = true;
        if (m.Phase == TUpFleetPhase::Searching) {
            m.Phase = TUpFleetPhase::Serving; // its turn between trigger and read request is over
            changed(i);
            schedule();
        }
    }
}

void TUpgradeFleet::searchTick()
{
    if (!FRunning)
        return;
    bool looking = false;
    for (int i = 0; i < int(FModules.size()); ++i) {
        if (FModules[size_t(i)].Phase != TUpFleetPhase::LookingBack)
            continue;
        if (FSlots[size_t(i)]->Back.elapsed() >= Options.BackTimeoutMs) {
            FModules[size_t(i)].StatusKey = KeyNotBack;
            FModules[size_t(i)].StatusSuffix.clear();
            endModule(i, TUpFleetResult::NotBack,
                      QStringLiteral("upgraded, but no answer to a search within %1 ms").arg(Options.BackTimeoutMs));
            continue;
        }
        looking = true;
    }
    if (!looking) {
        FSearchTimer.stop();
        return;
    }
    if (OnSearch)
        OnSearch();
}

void TUpgradeFleet::ModuleSeen(const QString &mac, const QString &version)
{
    if (!FRunning)
        return;
    const QString digits = macDigits(mac);
    for (int i = 0; i < int(FModules.size()); ++i) {
        TUpFleetModule &m = FModules[size_t(i)];
        if (m.Phase != TUpFleetPhase::LookingBack || macDigits(m.Target.MAC) != digits)
            continue;
        m.VersionAfter = version;
        if (Options.ResetAfter) {
            m.Phase = TUpFleetPhase::Resetting;
            setStatus(i, KeyResetting);
            FResetQueue << i;
            startNextReset();
        } else {
            m.StatusKey = KeyBack;
            m.StatusSuffix = version;
            endModule(i, TUpFleetResult::Ok);
        }
    }
}

void TUpgradeFleet::startNextReset()
{
    if (FPendingReset >= 0 || FResetQueue.isEmpty() || !FRunning)
        return;
    // One at a time: the module's answer names no sender.
    FPendingReset = FResetQueue.takeFirst();
    FResetTimer.start(std::max(1, Options.ResetWaitMs));
    if (OnReset)
        OnReset(FPendingReset);
    else
        ResetAnswered(FPendingReset, false, QStringLiteral("no way to send the factory reset"));
}

void TUpgradeFleet::ResetAnswered(int index, bool acknowledged, const QString &answer)
{
    if (FPendingReset < 0 || index != FPendingReset)
        return;
    const int i = FPendingReset;
    FPendingReset = -1;
    FResetTimer.stop();
    TUpFleetModule &m = FModules[size_t(i)];
    m.ResetAnswer = answer;
    if (acknowledged) {
        m.StatusKey = KeyResetDone;
        m.StatusSuffix = m.VersionAfter;
        endModule(i, TUpFleetResult::Ok);
    } else {
        m.StatusKey = KeyResetFailed;
        m.StatusSuffix = answer;
        endModule(i, TUpFleetResult::Failed, QStringLiteral("upgraded, but the factory reset failed: %1").arg(answer));
    }
    startNextReset();
}

void TUpgradeFleet::Stop()
{
    if (!FRunning)
        return;
    for (int i = 0; i < int(FModules.size()); ++i) {
        TUpFleetModule &m = FModules[size_t(i)];
        switch (m.Phase) {
        case TUpFleetPhase::Queued:
            m.StatusKey = KeyStopped;
            m.StatusSuffix.clear();
            endModule(i, TUpFleetResult::Stopped, QStringLiteral("stopped before it started"));
            break;
        case TUpFleetPhase::Searching:
        case TUpFleetPhase::Serving: {
            const bool serving = m.Phase == TUpFleetPhase::Serving;
            m.Seconds = FSlots[size_t(i)]->Transfer.nsecsElapsed() / 1e9;
            m.StatusKey = KeyStopped;
            m.StatusSuffix.clear();
            endModule(i, TUpFleetResult::Stopped,
                      serving ? QStringLiteral("stopped during the transfer, after %1 blocks").arg(m.Blocks)
                              : QStringLiteral("stopped while waiting for its boot loader"));
            break;
        }
        case TUpFleetPhase::LookingBack:
        case TUpFleetPhase::Resetting:
            // The firmware is in; only the look for it ends.
            m.Phase = TUpFleetPhase::Ended;
            m.Result = TUpFleetResult::Ok;
            m.Reason = QStringLiteral("stopped before it answered a search");
            setStatus(i, KeySuccess);
            changed(i);
            break;
        case TUpFleetPhase::Ended: break;
        }
    }
    FResetQueue.clear();
    FPendingReset = -1;
    FResetTimer.stop();
    FNet->Close();
    finishIfDone();
}

void TUpgradeFleet::finishIfDone()
{
    if (!FRunning)
        return;
    for (const TUpFleetModule &m : FModules)
        if (m.Phase != TUpFleetPhase::Ended)
            return;
    FRunning = false;
    for (QTimer *t : {&FPumpTimer, &FSettleTimer, &FSearchTimer, &FResetTimer})
        t->stop();
    FNet->Close();
    if (OnFinished)
        OnFinished();
}
