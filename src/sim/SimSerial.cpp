#include "sim/SimSerial.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "netconfig/Q1Page.h"
#include "serial/SerialProtocol.h"
#include "sim/Sim.h"
#include "sim/SimLan.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <unistd.h>

namespace {

const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

QByteArray ack() { return QByteArray(1, char(ComAccepted)); }

QString hex(const QByteArray &b) { return BytesToHexSpaced(b).trimmed(); }

} // namespace

int SimSerialFrameLength(uint8_t code)
{
    switch (code) {
    case ComReadQ1: // also the Q3 read
    case ComReadQ2:
    case ComReadDone: return 2;
    case ComFinishQ2: return 3;
    case ComWriteQ1: return LenComQ1Frame;
    case ComWritePort: return LenComPortFrame;
    case ComWriteBase: return LenComBaseFrame;
    default: return 0;
    }
}

TSimSerialModule TSimSerialModule::Make(const QString &model)
{
    TSimSerialModule m;
    m.Model = model;
    if (m.IsQ2()) {
        TSimBlocks all;
        all.Cloud = all.Heart = true;
        const TSimModule lan = TSimModule::Make(QStringLiteral("001A2B3C4D5E"), QStringLiteral("192.168.0.7"),
                                                QStringLiteral("Serial-Q2"), 4017, QStringLiteral("q2"), all,
                                                QString::fromLatin1(DefaultLogin), QString::fromLatin1(DefaultLogin));
        m.Base = lan.Base;
        m.Port = lan.Port;
        m.CloudHead = lan.Cloud.mid(2, 28);
        m.Heart = lan.Heart;
        return m;
    }
    // The factory page of a Q1: TCP Client to 192.168.0.201:8234, 115200 8N1, RS485 and RFC2217.
    TQ1Page page;
    page.cbb_ModuleWork.Index = 1;
    page.edt_ModuleIP.Text = model == QLatin1String("q3") ? QStringLiteral("192.168.0.8") : QStringLiteral("192.168.0.7");
    page.edt_ModulePort.Text = QStringLiteral("20108");
    page.cbb_BaudRate.Index = page.cbb_BaudRate.IndexOf(QStringLiteral("115200"));
    page.chk_RS485.Checked = page.chk_RFC2217.Checked = true;
    m.Fields = QByteArray(Q1FieldsSize, '\0');
    WriteQ1Fields(page, reinterpret_cast<uint8_t *>(m.Fields.data()));
    return m;
}

QByteArray TSimSerialModule::Q1Reply() const
{
    QByteArray r;
    r.append(char(ComHead)).append(char(ComReadQ1)).append(Fields).append(char(Q1Byte30));
    r.append(char(Sum8(U(r) + 2, 29)));
    return r;
}

QByteArray TSimSerialModule::Q2Reply() const
{
    QByteArray r;
    r.append(char(ComHead)).append(char(ComReadQ2)).append(Base).append(Port).append(QByteArray(5, '\0'));
    return r;
}

QByteArray TSimSerialModule::ExtraReply() const
{
    QByteArray r;
    r.append(char(ComHead)).append(char(ComReadDone)).append(CloudHead).append(Heart);
    return r;
}

QList<QByteArray> TSimSerialModule::Feed(QByteArray &pending, const std::function<void(const QString &)> &note)
{
    QList<QByteArray> out;
    while (!pending.isEmpty()) {
        if (uint8_t(pending[0]) != ComHead) {
            qsizetype next = pending.indexOf(char(ComHead));
            if (next < 0)
                next = pending.size();
            note(QStringLiteral("dropped %1 stray byte(s): %2").arg(next).arg(hex(pending.left(next))));
            pending.remove(0, next);
            continue;
        }
        if (pending.size() < 2)
            break;
        const int length = SimSerialFrameLength(uint8_t(pending[1]));
        if (length == 0) {
            note(QStringLiteral("unknown frame code 0x%1").arg(uint8_t(pending[1]), 2, 16, QLatin1Char('0')));
            pending.remove(0, 1);
            continue;
        }
        if (pending.size() < length)
            break;
        out += Handle(pending.left(length), note);
        pending.remove(0, length);
    }
    return out;
}

QList<QByteArray> TSimSerialModule::Handle(const QByteArray &frame, const std::function<void(const QString &)> &note)
{
    const uint8_t code = uint8_t(frame[1]);
    const auto wrongModel = [&](const char *what) -> QList<QByteArray> {
        note(QStringLiteral("ignored %1: this module is a %2").arg(QLatin1String(what), Model));
        return {};
    };
    // A block frame: head, code, block, Sum8 of the block.
    const auto take = [&](QByteArray &block, const char *what) -> QList<QByteArray> {
        const QByteArray payload = frame.mid(2, frame.size() - 3);
        const uint8_t sum = Sum8(U(payload), int(payload.size()));
        if (uint8_t(frame.back()) != sum) {
            note(QStringLiteral("checksum error in %1: got %2, expected %3")
                     .arg(QLatin1String(what))
                     .arg(uint8_t(frame.back()), 2, 16, QLatin1Char('0'))
                     .arg(sum, 2, 16, QLatin1Char('0')));
            return {};
        }
        const QByteArray was = block;
        block = payload;
        note(QStringLiteral("wrote %1: %2 was: %3").arg(QLatin1String(what), hex(payload), hex(was)));
        return {ack()};
    };
    switch (code) {
    case ComReadQ1:
        if (IsQ2())
            return wrongModel("read request 0xBC");
        note(QStringLiteral("read request: %1 parameters").arg(Model));
        if (BadQ1Checksum) {
            QByteArray r = Q1Reply();
            r[31] = char(uint8_t(r[31]) + 1);
            return {r};
        }
        return {Q1Reply()};
    case ComReadQ2:
        if (!IsQ2())
            return wrongModel("read request 0xBD");
        note(QStringLiteral("read request: base and port blocks"));
        return {Q2Reply()};
    case ComReadDone:
        if (!IsQ2())
            return wrongModel("read request 0xC1");
        note(QStringLiteral("read request: cloud, heartbeat and registration"));
        return {ExtraReply()};
    case ComWriteBase:
        return IsQ2() ? take(Base, "base block") : wrongModel("base block");
    case ComWritePort:
        return IsQ2() ? take(Port, "port block") : wrongModel("port block");
    case ComFinishQ2:
        if (!IsQ2())
            return wrongModel("closing frame");
        if (uint8_t(frame[2]) != ComFinishQ2Tail) {
            note(QStringLiteral("bad closing frame: %1").arg(hex(frame)));
            return {};
        }
        note(QStringLiteral("write finished, settings kept"));
        if (SilentFinish)
            return {};
        return {ack()};
    case ComWriteQ1:
        return IsQ2() ? wrongModel("Q1/Q3 fields") : take(Fields, "fields");
    default: return {};
    }
}

TSimSerial::~TSimSerial()
{
    if (FLinked)
        QFile::remove(LinkPath);
}

bool TSimSerial::Start(QString &error)
{
    if (!FPty.Open(&error))
        return false;
    if (!LinkPath.isEmpty()) {
        QFile::remove(LinkPath); // a link left by an earlier run
        if (::symlink(QFile::encodeName(FPty.SlavePath()).constData(), QFile::encodeName(LinkPath).constData()) != 0) {
            error = QStringLiteral("cannot make the link %1").arg(LinkPath);
            return false;
        }
        FLinked = true;
    }
    FSinceWrite.start();
    FNotifier = new QSocketNotifier(FPty.MasterFd(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    // A frame that stays incomplete is given up, so that the next one is read cleanly.
    FStale = new QTimer(this);
    FStale->setSingleShot(true);
    FStale->setInterval(500);
    connect(FStale, &QTimer::timeout, this, [this] {
        if (!FPending.isEmpty()) {
            note(QStringLiteral("dropped an incomplete frame: %1").arg(hex(FPending)));
            FPending.clear();
        }
    });
    FSend = new QTimer(this);
    FSend->setSingleShot(true);
    connect(FSend, &QTimer::timeout, this, [this] { pump(); });
    return true;
}

void TSimSerial::note(const QString &line)
{
    if (!Quiet)
        SimOut(QStringLiteral("sim: ") + line);
}

void TSimSerial::onReadable()
{
    const QByteArray got = FPty.ReadAvailable();
    if (got.isEmpty())
        return;
    if (!Quiet)
        SimOut(QStringLiteral("sim: heard %1 byte(s)%2")
                   .arg(got.size())
                   .arg(Verbose || got.size() <= 3 ? QStringLiteral(": ") + hex(got) : QString()));
    FPending += got;
    for (const QByteArray &reply : Module.Feed(FPending, [this](const QString &l) { note(l); }))
        queueReply(reply);
    if (FPending.isEmpty())
        FStale->stop();
    else
        FStale->start();
}

void TSimSerial::queueReply(const QByteArray &reply)
{
    if (SplitReplies && reply.size() > 1) {
        const qsizetype half = reply.size() / 2;
        FQueue.append({reply.left(half), ReplyGapMs, QStringLiteral("first part of a %1-byte reply").arg(reply.size())});
        FQueue.append({reply.mid(half), SplitPauseMs, QStringLiteral("second part, after %1 ms").arg(SplitPauseMs)});
    } else {
        FQueue.append({reply, ReplyGapMs, QStringLiteral("reply")});
    }
    pump();
}

void TSimSerial::pump()
{
    while (!FQueue.isEmpty()) {
        if (FSend->isActive())
            return;
        const qint64 left = FQueue.first().GapMs - FSinceWrite.elapsed();
        if (left > 0) {
            FSend->start(int(left));
            return;
        }
        const Part part = FQueue.takeFirst();
        if (!FPty.Write(part.Bytes))
            note(QStringLiteral("could not send %1 byte(s)").arg(part.Bytes.size()));
        else if (!Quiet)
            SimOut(QStringLiteral("sim: sent %1 byte(s) (%2)%3")
                       .arg(part.Bytes.size())
                       .arg(part.What)
                       .arg(Verbose ? QStringLiteral(": ") + hex(part.Bytes) : QString()));
        FSinceWrite.restart();
    }
}

namespace {

QString serialHelp()
{
    return QStringLiteral(
        "A module on a serial line with its configuration pin grounded, behind a pseudo-terminal. Prints\n"
        "the port the tool should open (\"sim: serial port PATH\"), then every frame it hears.\n"
        "  --model q1|q2|q3    the module's model (default q2): Q2 answers 0x55 0xBD with 137 bytes and\n"
        "                      0x55 0xC1 with 115 bytes; Q1 and Q3 answer 0x55 0xBC with 32 bytes\n"
        "  --split-reply       send every reply in two parts with a pause between them, as a module\n"
        "                      whose reply is interrupted would (the tool then recognises none)\n"
        "  --split-pause MS    the pause inside a split reply (default 100)\n"
        "  --reply-gap MS      least quiet time between two replies (default 150; the tool needs 50)\n"
        "  --bad-checksum      (q1, q3) answer the read with a wrong checksum in its last byte\n"
        "  --silent-finish     (q2) take the closing frame of a write without answering it\n"
        "  --link PATH         also make PATH a symbolic link to the port (removed at the end)\n"
        "  --quiet             do not print what is heard and sent\n"
        "  --verbose           print the bytes of every frame heard and sent");
}

int number(const QString &option, const QString &text, int min, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        throw TSimUsageError{QStringLiteral("%1 needs a number from %2 to %3").arg(option).arg(min).arg(max)};
    return v;
}

int serialRun(const QStringList &args)
{
    TSimSerial sim;
    QString model = QStringLiteral("q2");
    bool badChecksum = false, silentFinish = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&] { return SimOptionValue(args, i); };
        if (a == QLatin1String("--model")) {
            model = value().toLower();
            if (model != QLatin1String("q1") && model != QLatin1String("q2") && model != QLatin1String("q3"))
                throw TSimUsageError{QStringLiteral("--model takes q1, q2 or q3")};
        } else if (a == QLatin1String("--split-reply")) sim.SplitReplies = true;
        else if (a == QLatin1String("--split-pause")) sim.SplitPauseMs = number(a, value(), 0, 10000);
        else if (a == QLatin1String("--reply-gap")) sim.ReplyGapMs = number(a, value(), 0, 10000);
        else if (a == QLatin1String("--link")) sim.LinkPath = value();
        else if (a == QLatin1String("--bad-checksum")) badChecksum = true;
        else if (a == QLatin1String("--silent-finish")) silentFinish = true;
        else if (a == QLatin1String("--quiet")) sim.Quiet = true;
        else if (a == QLatin1String("--verbose")) sim.Verbose = true;
        else
            throw TSimUsageError{QStringLiteral("unknown option %1").arg(a)};
    }
    sim.Module = TSimSerialModule::Make(model);
    sim.Module.BadQ1Checksum = badChecksum;
    sim.Module.SilentFinish = silentFinish;
    QString error;
    if (!sim.Start(error)) {
        SimErr(QStringLiteral("bexo-z0-sim serial: ") + error);
        return 1;
    }
    SimOut(QStringLiteral("sim: serial port %1").arg(sim.PortPath()));
    SimOut(QStringLiteral("sim: %1 module on %2, configuration pin grounded%3")
               .arg(model, sim.PtyPath())
               .arg(sim.SplitReplies ? QStringLiteral(", replies split with a %1 ms pause").arg(sim.SplitPauseMs)
                                     : QString()));
    const int rc = QCoreApplication::exec();
    SimOut(QStringLiteral("sim: stopped"));
    return rc;
}

TSimRegistrar serialReg({QStringLiteral("serial"), QStringLiteral("a Q1, Q2 or Q3 module on a pseudo-terminal"),
                         serialHelp, serialRun});

} // namespace
