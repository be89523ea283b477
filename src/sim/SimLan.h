#pragma once
// Simulated modules on the LAN: any number of Q2, Q3 and unknown modules behind one UDP socket per
// port, each checking frames as a module does and keeping what was written. Each module answers
// from its own IP when that is an address of this machine (addresses added to a veth peer, or
// anything in 127/8), else from the address the socket sends from.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QUdpSocket;

struct TSimBlocks {
    bool Cloud = false, Heart = false, Httpd = false, ModbusPack = false, ModbusNew = false;
    int Modbus = 0; // 0 none, 1 or 4 bytes
};

struct TSimModule {
    QString Mac;          // 12 hex digits
    QString Model;        // "q2", "q3"
    int Version = 4017;
    QByteArray Base, Port; // 67 and 63 bytes
    QByteArray Cloud, Heart, Httpd, Modbus, ModbusPack, ModbusNew;
    TSimBlocks Has;
    QByteArray FactoryImage; // all blocks at creation, for the factory reset
    QByteArray Login;        // user name and password in force (12 bytes): written ones count after a restart
    char RefuseWrites = 0;   // 'P' or 'E': answer every write so (a login changed behind the tool's back)
    bool IgnoreWrites = false; // acknowledge writes but keep the blocks (a write that does not take)
    int RestartDelayMs = 0;    // silent for this long after a restart or a factory reset
    int DropSearches = 0;      // searches still to be dropped (a module that misses the first ones)
    int SilentAfter = -1;      // frames it still takes before it falls silent for good; -1: never
    qint64 DownUntilMs = 0;    // restarting until then: every frame is ignored
    QString AnswerIP;          // the IP it answers from: its own, taken again at each restart

    // A factory-new module. ip and name go into the base block; user/password are its login.
    static TSimModule Make(const QString &mac, const QString &ip, const QString &name, int version,
                           const QString &model, const TSimBlocks &blocks, const QString &user,
                           const QString &password);
    QByteArray SearchReply() const;
    QByteArray Image() const;
    void Restore(const QByteArray &image);
    int ReplyPort(int q2Port, int q3Port) const { return Model == QLatin1String("q3") ? q3Port : q2Port; }
};

// Handles one datagram for one module; returns the replies (empty: not for this module).
// note() receives a line describing what happened; nowMs is the simulator's clock.
QList<QByteArray> SimHandleFrame(TSimModule &m, const QByteArray &frame, bool onQ3Port,
                                 const std::function<void(const QString &)> &note, qint64 nowMs = 0);

// The modules that answer a search: one sent to the IP of modules is for them alone (a module's IP
// may look like a broadcast address to this machine: a /32 added to an interface); one sent to a
// broadcast address (broadcast) for every module; one sent to another address for none.
QList<int> SimSearchTargets(const QList<TSimModule> &modules, const QString &destination, bool broadcast);

// One line per module: its MAC and every block in hex ("001A2B3C4D5E base=... port=..."), as
// written to the --state file.
QByteArray SimStateText(const QList<TSimModule> &modules);

// The module lines of a --config file: '#' starts a comment, blank lines are skipped.
QStringList SimConfigLines(const QByteArray &file);
// One module from its option list ("mac=...,ip=...,model=q3"); index numbers the defaults. Raises
// TSimUsageError for an option it does not know or a value that does not fit.
TSimModule SimParseModule(const QString &options, int index, const QString &user, const QString &password);

class TSimLan : public QObject {
    Q_OBJECT
public:
    QList<TSimModule> Modules;
    QString BindAddress = QStringLiteral("0.0.0.0");
    int PortQ2 = 1500;
    int PortQ3 = 1901;
    bool Quiet = false;
    bool Verbose = false;
    QString StatePath; // rewritten at start and whenever a module's blocks change

    bool Start(QString &error);

private:
    QUdpSocket *FQ2 = nullptr, *FQ3 = nullptr;
    QElapsedTimer FClock;
    QHash<QByteArray, QList<int>> FByMac; // six MAC bytes -> modules
    QSet<QString> FNotLocal;              // module IPs this machine cannot send from
    QSet<QString> FBroadcasts;            // the broadcast addresses of this machine's interfaces
    bool isBroadcast(const QHostAddress &destination);
    void onReadyRead(QUdpSocket *s, bool q3);
    void send(QUdpSocket *s, const QByteArray &reply, const QString &fromIP, const QHostAddress &to, quint16 port);
    void writeState();
};

// Sends a datagram from a given local address of the socket's machine; false when the machine
// has no such address (or the send failed otherwise).
bool SimSendFrom(int socket, const QByteArray &data, const QString &fromIP, const QHostAddress &to, quint16 port);
