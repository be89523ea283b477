// The upgrade attempt: trigger, BOOTP answer and the block-by-block transfer with its time-outs.
#include "upgrade/Upgrade.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/SafeFile.h"
#include "lang/LangList.h"

#include <QFile>
#include <QHostAddress>
#include <stdexcept>
#include <unistd.h>

namespace {

const QString KeyNoClient = QStringLiteral("lang_Hint_UpNoClient");
const QString KeyNoFileName = QStringLiteral("lang_Hint_UpNoFileName");
const QString KeyNoSameNetwork = QStringLiteral("lang_Hint_UpNoSamNetwork");
const QString KeySearching = QStringLiteral("lang_Hint_UpSearching");
const QString KeyReady = QStringLiteral("lang_Hint_UpReady");
const QString KeyNotMatch = QStringLiteral("lang_Hint_BinNotMatch");
const QString KeyProgress = QStringLiteral("lang_Hint_UpProgress");
const QString KeySuccess = QStringLiteral("lang_Hint_UpSuccess");
const QString KeyFailed = QStringLiteral("lang_Hint_Upfailed");
const QString KeyTimeOut = QStringLiteral("lang_Hint_UpTimeOut");
const QString KeyFileNotRegular = QStringLiteral("lang_Hint_UpFileNotRegular");
const QString KeyFileTooLarge = QStringLiteral("lang_Hint_UpFileTooLarge");

uint8_t at(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]); }

} // namespace

const char *UpgradeStateName(TUpgradeState state)
{
    switch (state) {
    case TUpgradeState::Idle: return "idle";
    case TUpgradeState::Searching: return "searching";
    case TUpgradeState::Serving: return "serving";
    case TUpgradeState::Done: return "done";
    case TUpgradeState::Failed: return "failed";
    case TUpgradeState::Mismatch: return "mismatch";
    case TUpgradeState::TimedOut: return "timed out";
    }
    return "?";
}

TUpgradeAttempt::TUpgradeAttempt(IUpgradeNet *net, QObject *parent) : QObject(parent), FNet(net)
{
    if (!FNet) {
        FOwnNet = std::make_unique<TUpgradeUdpNet>();
        FNet = FOwnNet.get();
    }
    FNet->OnDatagram = [this](uint16_t port, const QByteArray &bytes, const QString &sender) {
        HandleDatagram(port, bytes, sender);
    };
    FTimer.setSingleShot(false);
    // A coarse timer may fire up to 5 % early: the boot loader gets every millisecond it is given.
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(Times.SearchMs);
    connect(&FTimer, &QTimer::timeout, this, &TUpgradeAttempt::TimerFired);
}

TUpgradeAttempt::~TUpgradeAttempt()
{
    FTimer.stop();
    FNet->OnDatagram = nullptr;
    FNet->Close();
}

int TUpgradeAttempt::LastBlock() const
{
    if (!UpFile)
        return 0;
    return int((FFileSize - UpHwIdLen) / UpBlockSize) + 1;
}

void TUpgradeAttempt::status(const QString &key, const QString &suffix)
{
    FShownPercent = -1; // any other text replaces the progress line
    if (OnStatus)
        OnStatus(key, GetLangText(key) + suffix);
}

void TUpgradeAttempt::progress(int percent)
{
    if (OnProgress)
        OnProgress(percent);
}

void TUpgradeAttempt::buttons(bool enabled)
{
    if (OnButtons)
        OnButtons(enabled, enabled);
}

void TUpgradeAttempt::closeFile() { UpFile.reset(); }

void TUpgradeAttempt::end(TUpgradeState state, const QString &key)
{
    FTimer.stop();
    FNet->Close();
    closeFile();
    FState = state;
    status(key);
    buttons(true);
    progress(0);
    if (OnFinished)
        OnFinished(state);
}

void TUpgradeAttempt::fail(const QString &reason, TUpgradeFailure failure)
{
    if (Log && !reason.isEmpty())
        Log->AddLog(reason, TLogColor::Red);
    if (failure.Kind == TUpFailureKind::None || (failure.Kind == TUpFailureKind::Other && failure.Detail.isEmpty()))
        failure = UpFailure(TUpFailureKind::Other, {}, reason);
    Failure = failure;
    if (OnFailure)
        OnFailure(Failure);
    end(TUpgradeState::Failed, KeyFailed);
}

void TUpgradeAttempt::succeed()
{
    FTimer.stop();
    // Ports 67 and 69 go back at once: held on, they would keep a DHCP or TFTP server out.
    FNet->Close();
    closeFile();
    FState = TUpgradeState::Done;
    status(KeySuccess);
    progress(0);
    buttons(true);
    if (OnFinished)
        OnFinished(TUpgradeState::Done);
}

void TUpgradeAttempt::logSent(const QByteArray &bytes, const QString &host, uint16_t port)
{
    if (LogTraffic && Log)
        Log->AddHex(LogOpen + LogPC + LogSendArrow + host + QLatin1Char(':') + QString::number(port) + LogClose +
                        LogColon + BytesToHexSpaced(bytes),
                    TLogColor::Blue);
}

void TUpgradeAttempt::logReceived(const QByteArray &bytes, const QString &sender)
{
    if (LogTraffic && Log)
        Log->AddHex(LogOpen + LogPC + LogRecvArrow + sender + LogClose + LogColon + BytesToHexSpaced(bytes),
                    TLogColor::Green);
}

void TUpgradeAttempt::sendOrThrow(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port)
{
    QString reason;
    if (!FNet->Send(from, bytes, host, port, reason))
        throw std::runtime_error(reason.toStdString());
    logSent(bytes, host, port);
}

bool TUpgradeAttempt::fromModule(const QString &sender) const
{
    if (sender == FModuleHost)
        return true;
    // Otherwise compared as numbers: "192.168.0.007" typed by the user is the module that says
    // 192.168.0.7.
    QHostAddress a;
    if (!a.setAddress(sender))
        return false;
    bool ok = false;
    const quint32 v = a.toIPv4Address(&ok);
    return ok && v == FModuleAddr;
}

bool TUpgradeAttempt::Program(const TUpgradeInputs &inputs)
{
    UpModuleIP = inputs.ModuleIP;
    UpModuleMAC = inputs.ModuleMAC;
    LocalIP = inputs.LocalIP;
    RefusedFile = false;
    if (UpModuleIP.isEmpty() || UpModuleMAC.isEmpty() || LocalIP.isEmpty()) {
        status(KeyNoClient);
        return false;
    }
    if (inputs.BinFileName.isEmpty()) {
        status(KeyNoFileName);
        return false;
    }
    if (UpMask.isEmpty())
        UpMask = UpDefaultMask;
    std::array<uint8_t, 4> module{}, local{};
    try {
        if (!SameSubnet(UpModuleIP, LocalIP, UpMask)) {
            if (OnMessageBox)
                OnMessageBox(KeyNoSameNetwork, GetLangText(KeyNoSameNetwork));
            return false;
        }
        // The addresses go into the BOOTP reply as four bytes; a text that will not fit stops here,
        // before anything has started.
        module = UpAddressBytes(UpModuleIP);
        local = UpAddressBytes(LocalIP);
    } catch (const EConvertError &e) {
        if (OnMessageBox)
            OnMessageBox(QString(), e.Message());
        return false;
    }
    // The file before anything starts: a pipe or a device would hang the attempt, and a file larger
    // than any module's flash is no firmware. A file that cannot be opened fails the attempt below.
    TFileRefusal refusal = TFileRefusal::None;
    QString why;
    qint64 size = 0;
    const int fd = OpenRegularFile(inputs.BinFileName, MaxImageBytes, refusal, why, &size);
    if (refusal == TFileRefusal::NotRegular || refusal == TFileRefusal::TooLarge) {
        RefusedFile = true;
        const QString &key = refusal == TFileRefusal::NotRegular ? KeyFileNotRegular : KeyFileTooLarge;
        if (Log)
            Log->AddLog(QStringLiteral("%1: %2").arg(inputs.BinFileName, why), TLogColor::Red);
        if (OnMessageBox)
            OnMessageBox(key, GetLangText(key) + inputs.BinFileName);
        return false;
    }
    auto file = std::make_unique<QFile>(inputs.BinFileName);
    // Unbuffered: a read-ahead buffer would go on serving bytes of a file that changed since.
    if (fd >= 0 && !file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        ::close(fd);

    FModuleAddr = (uint32_t(module[0]) << 24) | (uint32_t(module[1]) << 16) | (uint32_t(module[2]) << 8) | module[3];
    FModuleHost = IntToIP(FModuleAddr);
    const QString localHost = IntToIP((uint32_t(local[0]) << 24) | (uint32_t(local[1]) << 16) |
                                      (uint32_t(local[2]) << 8) | local[3]);

    // From here on every error ends the attempt as a failure.
    Failure = {};
    buttons(false);
    UpLastSent = false;
    UpBlock = 0;
    UpRetries = -1;
    UpHwId.clear(); // never compare with the identifier of an earlier file
    FState = TUpgradeState::Searching;
    FTimer.start(Times.SearchMs);
    status(KeySearching);
    try {
        FNet->Close();
        closeFile();
        // Opened before any port is bound.
        if (!file->isOpen()) {
            fail(QStringLiteral("cannot open %1: %2").arg(inputs.BinFileName, why),
                 UpFailure(TUpFailureKind::FileUnreadable, inputs.BinFileName, why));
            return true;
        }
        FFileSize = size;
        const QByteArray id = file->read(UpHwIdLen);
        if (id.size() < UpHwIdLen) {
            fail(QStringLiteral("%1 has %2 bytes, too few for the 4-byte hardware identifier")
                     .arg(inputs.BinFileName)
                     .arg(FFileSize),
                 UpFailure(TUpFailureKind::FileTooShort, inputs.BinFileName));
            return true;
        }
        UpHwId = id;
        UpFile = std::move(file);

        QString reason;
        if (!FNet->Open(localHost, Ports, reason)) {
            fail(reason, FNet->OpenFailure());
            return true;
        }

        progress(0);

        uint8_t mac[6];
        MacToBytes(UpModuleMAC, mac);
        sendOrThrow(TUpBinding::Trigger, UpBuildTrigger(mac), BroadcastIP, Ports.TriggerDest);
    } catch (const EConvertError &e) {
        fail(e.Message());
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
    return true;
}

void TUpgradeAttempt::HandleDatagram(uint16_t localPort, const QByteArray &bytes, const QString &sender)
{
    if (!FNet->IsOpen())
        return; // nothing is bound: a late datagram of an ended attempt
    try {
        if (localPort == Ports.Bootp && bytes.size() == UpBootpLen) {
            logReceived(bytes, sender);
            handleBootp(bytes);
        } else if (localPort == Ports.Tftp && bytes.size() == UpReadReqLen) {
            logReceived(bytes, sender);
            handleReadRequest(bytes, sender);
        } else if (localPort == Ports.Data && bytes.size() == UpAckLen) {
            logReceived(bytes, sender);
            handleAck(bytes, sender);
        }
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
}

void TUpgradeAttempt::handleBootp(const QByteArray &bytes)
{
    UpBootpBuf = bytes;
    if (!UpBootpRequestFieldsOk(bytes))
        return;
    if (UpHwId.size() == UpHwIdLen && bytes.mid(UpHwIdOffset, UpHwIdLen) == UpHwId) {
        status(KeyReady);
        const QByteArray reply = UpBuildBootpReply(bytes, UpAddressBytes(UpModuleIP), UpAddressBytes(LocalIP));
        sendOrThrow(TUpBinding::Bootp, reply, BroadcastIP, Ports.BootpReply);
    } else if (at(bytes, 26) != 0) {
        end(TUpgradeState::Mismatch, KeyNotMatch);
    }
    // A different identifier with byte 26 clear is someone else's boot loader: not ours to answer.
}

void TUpgradeAttempt::handleReadRequest(const QByteArray &bytes, const QString &sender)
{
    if (!fromModule(sender))
        return;
    UpReadReqBuf = bytes;
    if (!UpReadRequestOk(bytes) || !UpFile)
        return;
    // Again later: the boot loader started over, so do we.
    FTimer.stop();
    UpRetries = 0;
    FState = TUpgradeState::Serving;
    SendUpgradeData(1);
}

void TUpgradeAttempt::handleAck(const QByteArray &bytes, const QString &sender)
{
    if (!fromModule(sender))
        return;
    UpAckBuf = bytes;
    // Anything but an acknowledgement of a running transfer leaves the time-out armed, so a stray
    // datagram can never stall the attempt with both buttons disabled.
    if (at(bytes, 0) != 0 || at(bytes, 1) != 4 || FState != TUpgradeState::Serving || !UpFile)
        return;
    // Block numbers are 16 bits on the wire: take the block nearest the one sent last, so an image
    // of more than 65535 blocks goes on past the wrap instead of starting over.
    const uint16_t low = uint16_t((at(bytes, 2) << 8) | at(bytes, 3));
    const int acked = UpBlock + int16_t(uint16_t(low - uint16_t(UpBlock & 0xFFFF)));
    if (acked > UpBlock || acked < 0)
        return; // acknowledges a block never sent
    if (UpLastSent && acked == UpBlock) {
        succeed();
        return;
    }
    if (acked + 1 > LastBlock())
        return;
    FTimer.stop();
    SendUpgradeData(acked + 1);
}

void TUpgradeAttempt::SendUpgradeData(int b)
{
    if (!UpFile || b < 1 || b > LastBlock())
        return;
    UpBlock = b;
    try {
        const qint64 offset = UpHwIdLen + qint64(b - 1) * UpBlockSize;
        const qint64 remaining = FFileSize - offset;
        const int n = remaining >= UpBlockSize ? UpBlockSize : int(remaining);
        QByteArray packet(4 + n, Qt::Uninitialized);
        packet[0] = 0;
        packet[1] = 3;
        packet[2] = char((b >> 8) & 0xFF);
        packet[3] = char(b & 0xFF);
        // Blocks are read in order, so the position is mostly right already: no seek needed.
        if ((UpFile->pos() != offset && !UpFile->seek(offset)) || (n > 0 && UpFile->read(packet.data() + 4, n) != n))
            throw std::runtime_error(QStringLiteral("cannot read block %1 of %2: %3")
                                         .arg(b)
                                         .arg(UpFile->fileName(), UpFile->error() == QFile::NoError
                                                                       ? QStringLiteral("the file became shorter")
                                                                       : UpFile->errorString())
                                         .toStdString());
        UpLastSent = n < UpBlockSize;
        // The file stays open after the final, short block: if its acknowledgement is lost, the
        // time-out sends it again.
        const int percent = UpLastSent ? 100 : UpProgressPercent(b, FFileSize);
        if (percent != FShownPercent) { // a few hundred changes in thousands of blocks
            status(KeyProgress, QString::number(percent) + QLatin1Char('%'));
            progress(percent);
            FShownPercent = percent;
        }
        sendOrThrow(TUpBinding::Data, packet, FModuleHost, Ports.ModuleData);
        FTimer.start(Times.BlockMs);
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
}

void TUpgradeAttempt::TimerFired()
{
    if (FState != TUpgradeState::Searching && FState != TUpgradeState::Serving) {
        FTimer.stop(); // an ended attempt keeps its message
        return;
    }
    if (UpRetries < 0 || UpRetries >= UpMaxRetries) {
        end(TUpgradeState::TimedOut, KeyTimeOut);
        return;
    }
    ++UpRetries;
    SendUpgradeData(UpBlock);
}

void TUpgradeAttempt::Exit()
{
    FNet->Close();
    FTimer.stop();
    closeFile();
    if (FState == TUpgradeState::Searching || FState == TUpgradeState::Serving)
        FState = TUpgradeState::Idle;
    buttons(true);
    progress(0);
}
