#pragma once
// A simulated module on a serial line, its configuration pin grounded: behind a pseudo-terminal it
// answers the read requests, takes writes with 0x4B and keeps what was written. Like a real module
// it sends each reply in one go and leaves a pause of well over 50 ms between two replies, so the
// tool's quiet-gap chunking sees one reply per chunk; an option cuts every reply in two instead.

#include "serial/PtyPair.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;
class QTimer;

struct TSimSerialModule {
    QString Model;           // "q1", "q2" or "q3"
    QByteArray Base, Port;   // Q2: 67- and 63-byte blocks
    QByteArray CloudHead;    // Q2: device ID and communication code (28 bytes)
    QByteArray Heart;        // Q2: 85-byte heartbeat/register block
    QByteArray Fields;       // Q1/Q3: the 28-byte field group
    uint8_t Q1Byte30 = 0x00; // Q1/Q3: the reply byte the tool does not interpret
    bool BadQ1Checksum = false; // Q1/Q3: the 32-byte reply carries a wrong checksum
    bool SilentFinish = false;  // Q2: the closing frame of a write gets no answer

    // A factory-new module of the model.
    static TSimSerialModule Make(const QString &model);

    bool IsQ2() const { return Model == QLatin1String("q2"); }
    QByteArray Q1Reply() const;    // 32 bytes
    QByteArray Q2Reply() const;    // 137 bytes
    QByteArray ExtraReply() const; // 115 bytes

    // Takes the bytes heard so far and removes every complete frame from the front of pending
    // (stray bytes too); returns the replies, in order. note() gets a line for each event.
    QList<QByteArray> Feed(QByteArray &pending, const std::function<void(const QString &)> &note);
    // One whole frame.
    QList<QByteArray> Handle(const QByteArray &frame, const std::function<void(const QString &)> &note);
};

// How long the frame starting with head byte 0x55 and code is; 0 for an unknown code.
int SimSerialFrameLength(uint8_t code);

class TSimSerial : public QObject {
public:
    TSimSerialModule Module;
    int ReplyGapMs = 150;   // least quiet time between two replies
    bool SplitReplies = false;
    int SplitPauseMs = 100;
    bool Quiet = false;
    bool Verbose = false;
    QString LinkPath;       // a symbolic link to the port, made at start and removed at the end

    ~TSimSerial() override;
    bool Start(QString &error);
    // The path the tool should open.
    QString PortPath() const { return LinkPath.isEmpty() ? FPty.SlavePath() : LinkPath; }
    const QString &PtyPath() const { return FPty.SlavePath(); }

private:
    struct Part {
        QByteArray Bytes;
        int GapMs;    // quiet time before it, counted from the end of the last write
        QString What;
    };
    void onReadable();
    void queueReply(const QByteArray &reply);
    void pump();
    void note(const QString &line);

    TPtyPair FPty;
    QSocketNotifier *FNotifier = nullptr;
    QTimer *FStale = nullptr;
    QTimer *FSend = nullptr;
    QByteArray FPending;
    QList<Part> FQueue;
    QElapsedTimer FSinceWrite;
    bool FLinked = false;
};
