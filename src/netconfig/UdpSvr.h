#pragma once
// The UDP endpoint that configures modules: one socket per local IPv4 address, the search
// broadcast, command frames, and the dispatch of every reply by its datagram length.

#include "core/Public.h"
#include "netconfig/ModelInfo.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>

class QUdpSocket;

// Where the datagram being dispatched came from and arrived.
struct TDatagramSource {
    QString PeerIP;
    int PeerPort = 0;
    QString LocalIP;
    int LocalPort = 0;
    int BindingIndex = -1;
    bool Active = false; // false outside a dispatch
};

// The summary period of datagrams of unknown length in the window and the CLI.
constexpr int UnknownSummaryPeriodMs = 1000;

class TUdpSvr : public QObject {
    Q_OBJECT
public:
    using TTrafficEvent = std::function<void(const QByteArray &AData, const QString &APeerIP,
                                             const QString &ALocalIP, int APeerPort, int ALocalPort)>;

    // Events; each is skipped when empty.
    TTrafficEvent OnSendData;
    TTrafficEvent OnRecvData;
    std::function<void(const QString &AIP, const QString &AName, const QString &AMac, const QString &AVersion,
                       int AModel, int ABindingIndex)>
        OnSearchReply;
    std::function<void(const TBaseParam &, const TarrComParam &, bool AFromCom, int AModel)> OnReadParam;
    std::function<void(const TarrCloudParam &, bool AFromCom, int AModel)> OnReadCloud;
    std::function<void(const uint8_t *ABlock, bool AFromCom, int AModel)> OnReadHeartReg;
    std::function<void(const QString &AUrl, const QString &AHeader)> OnReadHttpd;
    std::function<void(int ACode, const QString &AMsg)> OnStatus;
    std::function<void(const TModbusParam &, int ALen)> OnModbusParam;
    std::function<void(const TModbusPackParam &, int ALen)> OnModbusPackParam;
    std::function<void(const TModbusNewParam &, int ALen)> OnModbusNewParam;

    // The last reply of each kind: the templates of the next write.
    std::array<uint8_t, 256> LastRead{};
    int LastReadLen = 0;
    std::array<uint8_t, LenCloud> LastCloud{};
    std::array<uint8_t, LenHeartReg> LastHeartReg{};
    std::array<uint8_t, LenHttpd> LastHttpd{};
    std::array<uint8_t, 4> LastModbus4{};
    std::array<uint8_t, LenModbusPack> LastModbusPack{};
    std::array<uint8_t, LenModbusNew> LastModbusNew{};

    // A copy of every valid search reply since the last search, in arrival order; past
    // MaxSearchReplies the oldest go, so a flood of replies costs bounded memory.
    QList<QByteArray> SearchReplies;
    static constexpr int MaxSearchReplies = 16384;
    // Datagrams handled in one turn of the event loop; the rest wait for the next turn.
    static constexpr int MaxDatagramsPerTurn = 256;

    // When above 0: of the datagrams of a length no reply has, only the first of each period of
    // this many milliseconds is passed on (OnRecvData and StsUnknownLen); the others are counted,
    // and StsUnknownLenMore reports the count when the period is over. 0: every one is passed on.
    int UnknownSummaryMs = 0;
    // Reports a held count now (before the period is over).
    void FlushUnknownSummary();

    // Tests and the CLI's --interface replace the address list and the destination.
    QStringList AddressOverride; // empty: LocalIPv4List
    int DestPortQ2 = DevPortQ2;
    int DestPortQ3 = DevPortQ3;
    QString BroadcastAddress = BroadcastIP;

    explicit TUdpSvr(QObject *parent = nullptr);
    ~TUdpSvr() override;

    void RefreshBindings();
    int SearchDevices();
    int BindingCount() const { return int(FBindings.size()); }
    QString BindingIP(int index) const;
    int BindingPort(int index) const;

    // The search frame to one address instead of the broadcast address, from the bindings whose
    // subnet holds it, or from every binding when none does (a module behind a router); each
    // datagram fires OnSendData. Returns how many were sent. The bindings are those of the last
    // refresh.
    int SendSearchTo(const QString &AIP);

    // Frames go to the broadcast address, or to ADest when given (a module found by a search sent
    // to its address, which the broadcast does not reach).
    bool SendCmdQ2(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser, const QString &APswd,
                   const QString &ADest = QString());
    bool SendCmdQ3(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser, const QString &APswd,
                   const QString &ADest = QString());
    bool SendBlockQ2(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser,
                     const QString &APswd, const uint8_t *APayload, int ALen, const QString &ADest = QString());

    // The read handler of every binding; also driven directly by tests and the fuzz target.
    void UDPRead(const QByteArray &AData, const QString &APeerIP, int APeerPort, const QString &ALocalIP,
                 int ALocalPort, int ABindingIndex);
    void StoreReply(int ALength, const uint8_t *AData);
    void DoStatus(int ACode, const QString &AMsg);
    void DoSendData(const QByteArray &AData, const QString &APeerIP, const QString &ALocalIP, int APeerPort,
                    int ALocalPort);
    // The datagram whose events are running; not Active outside UDPRead (a search's own status).
    const TDatagramSource &Dispatching() const { return FDispatching; }
    // No connection-reset reports exist for UDP here; kept so every send asks first.
    bool DisableConnReset(QUdpSocket *) { return true; }

private:
    struct TBinding {
        QString IP;
        QUdpSocket *Socket = nullptr;
    };
    QList<TBinding> FBindings;
    bool FStale = false; // a binding failed: rebuild at the next refresh
    TDatagramSource FDispatching;
    // Per binding: the networks (address, mask) of its interface; asked once after a rebuild.
    QList<QList<std::pair<quint32, quint32>>> FSubnets;
    bool FHaveSubnets = false;
    QElapsedTimer FClock;
    qint64 FUnknownSince = -1; // start of the summary period, FClock's milliseconds
    int FUnknownHeld = 0;
    QTimer FUnknownTimer;
    // False when a datagram of unknown length is held back for the summary.
    bool passUnknown();

    void clearBindings();
    void readPending(int index);
    bool sendFrame(int ABindingIndex, const QByteArray &frame, int port, const QString &dest);
    void searchReply(const QByteArray &data, int peerPort, int bindingIndex);
};

// The bindings a search to address goes from: those with a network that holds it, else all of
// them. subnets holds the networks (address, mask) of each binding's interface.
QList<int> SearchBindingsFor(quint32 address, const QList<QList<std::pair<quint32, quint32>>> &subnets);

// The 22 + n byte command frame: FF, 19 + n, command, MAC, user, password, payload, Sum8.
// Raises EConvertError for a MAC text that does not parse.
QByteArray BuildCmdFrame(uint8_t ACmd, const QString &AMac, const QString &AUser, const QString &APswd,
                         const uint8_t *APayload = nullptr, int ALen = 0);

// True for the lengths the endpoint dispatches (a reply, a status, a block), false for the rest.
bool IsKnownReplyLength(int length);

