#pragma once
// A module's boot loader, as the upgrade sees it: wakes on the trigger addressed to its MAC,
// broadcasts a BOOTP request carrying its hardware identifier, reads "firmware.bin" over TFTP,
// acknowledging each block, and finally checks the image against what it expected. One process
// may run several, each on its own address with its own options (a fleet for the tests).

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QUdpSocket;

struct TBootLoaderOptions {
    QString Ip = QStringLiteral("127.0.0.1"); // the address it sends from and takes data on
    QByteArray Mac = QByteArray::fromHex("001A2B3C4D5E");
    QByteArray BootpMac;      // hardware address its BOOTP request reports; empty: Mac
    QByteArray HwId;          // announced identifier; empty: the expected file's, or a default
    bool WrongId = false;     // announce an identifier that differs from HwId
    int Flag26 = 1;           // byte 26 of the request
    QString Expect;           // .bin file whose bytes after the identifier it should receive
    QString Save;             // where to store the received image
    int DropAcks = 0;         // acknowledgements not sent, from the first on
    int StopAfter = -1;       // acknowledge this many blocks, then no more (-1: no limit)
    bool DropFinal = false;   // the first acknowledgement of the final block is not sent
    bool Silent = false;      // hears the trigger, never answers
    int DelayMs = 0;          // wait before each acknowledgement
    int RetryMs = 1000;       // repeat the BOOTP and read requests while unanswered
    bool Once = false;        // exit after one image (status 0 when it matched)
    int LingerMs = 3000;      // with Once: stay to acknowledge repeats of the final block
    uint16_t TriggerPort = 9;
    uint16_t BootpServerPort = 67;
    uint16_t BootpClientPort = 68;
    uint16_t TftpPort = 69;
    uint16_t DataPort = 13633;
};

class TSimBootLoader : public QObject {
    Q_OBJECT
public:
    explicit TSimBootLoader(const TBootLoaderOptions &options, QObject *parent = nullptr);
    bool Start(QString &error);
    std::function<void(int status)> OnDone; // with Once: the exit status
    QString Prefix = QStringLiteral("bootloader"); // leads every line it prints

private:
    enum class Phase { Waiting, Bootp, Reading, Done };
    void onTrigger(const QByteArray &bytes);
    void onBootpReply(const QByteArray &bytes);
    void onData(const QByteArray &bytes, const QString &host, uint16_t port);
    void sendBootpRequest();
    void sendReadRequest();
    void sendAck(int block, bool final, const QString &host, uint16_t port);
    void finish();
    QByteArray announcedId() const;
    void out(const QString &text) const;

    TBootLoaderOptions O;
    QUdpSocket *FTrigger = nullptr;
    QUdpSocket *FBootpSend = nullptr;
    QUdpSocket *FBootpRecv = nullptr;
    QUdpSocket *FData = nullptr;
    QTimer FRetry;
    int FRetriesLeft = 0;
    Phase FPhase = Phase::Waiting;
    QByteArray FXid;
    QString FServer;
    QByteArray FImage;
    int FBlocks = 0;          // blocks taken so far
    int FAcksDropped = 0;
    bool FFinalDropped = false;
    bool FStoppedSaid = false;
    int FVerdict = 0;
    QElapsedTimer FClock;     // from the read request to the final block
};
