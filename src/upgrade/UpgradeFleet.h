#pragma once
// Firmware for many modules at once. Each module runs its own TUpgradeAttempt, with every rule of a
// single upgrade (its trigger, its identifier check, its block counter, retransmissions and
// time-outs, its own result); all of them share one set of bindings, so one data socket serves
// every module. The fleet routes each datagram to the one module it belongs to: BOOTP requests by
// the hardware address (and, once seen, the transaction ID) in the request, read requests and
// acknowledgements by the sender's address. At most Options.Parallel transfers run at once.
//
// A boot loader may report a hardware address that is not its module's MAC. While requests carry
// the targets' MACs they are matched by them; the first request with a hardware address that is
// no target's MAC switches the fleet to one module at a time between trigger and read request
// (transfers still run side by side), and a request is then only taken for the one module that is
// searching. A request is never answered for, or allowed to end, another module's attempt: its
// hardware address and transaction ID once seen stay with the module it was first taken for, until
// that module has sent its read request.
//
// After a success the module is looked for again (the front end searches when OnSearch asks and
// reports every answer with ModuleSeen); with ResetAfter its factory settings are restored once it
// is back (OnReset, answered with ResetAnswered). With Canary the first module goes alone, and the
// rest only once it is back.

#include "upgrade/Upgrade.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

// Why a file cannot be the image of a fleet upgrade (missing, no regular file, too big for a
// module, unreadable, too short for the identifier), or empty when it can; id gets its identifier.
QString UpImageFileProblem(const QString &path, QByteArray *id = nullptr, bool *tooShort = nullptr);

struct TUpFleetTarget {
    QString IP;
    QString MAC;     // 12 hex digits, blanks allowed
    QString Version; // firmware before, as the search showed it; may be empty
};

enum class TUpFleetResult {
    Waiting,  // not ended yet
    Ok,       // upgraded (and back, and reset, when asked)
    Mismatch, // the boot loader announced another hardware identifier
    TimedOut, // no read request in time, or a block never acknowledged
    Failed,   // anything else: refused before its start, a file or socket error, a reset refused
    NotBack,  // upgraded, but it did not answer a search within the wait
    Stopped,  // stopped by the user
    Skipped,  // never started: the first module of a canary run did not succeed
    NotFound, // (front ends) did not answer the search the run was planned from
};
// "ok", "mismatch", "time-out", "failed", "not back", "stopped", "skipped", "not found".
QString UpFleetResultName(TUpFleetResult r);

enum class TUpFleetPhase { Queued, Searching, Serving, LookingBack, Resetting, Ended };

struct TUpFleetModule {
    TUpFleetTarget Target;
    TUpFleetPhase Phase = TUpFleetPhase::Queued;
    TUpFleetResult Result = TUpFleetResult::Waiting;
    // The status line: a language key and what follows its text (a percentage, a version).
    QString StatusKey;
    QString StatusSuffix;
    int Percent = 0;
    int Blocks = 0;      // acknowledged
    int TotalBlocks = 0; // of the image, the final short block included
    double Seconds = 0;  // from the trigger to the end of the transfer
    QString VersionAfter;
    QString Reason;      // why it did not succeed, in words for the log
    QString ResetAnswer; // the module's answer to the factory reset
    bool Running() const { return Phase == TUpFleetPhase::Searching || Phase == TUpFleetPhase::Serving; }
    QString StatusText() const; // in the current language
};

struct TUpFleetOptions {
    int Parallel = 8;
    bool Canary = false;
    bool ResetAfter = false;
    bool LookBack = true;      // search for each module after its success
    int BackTimeoutMs = 60000; // from the success to its answer
    int SearchEveryMs = 2000;  // searches while a module is looked for
    int ResetWaitMs = 3000;    // for the answer to the factory reset
    int SettleMs = 1000;       // after falling back to one at a time: stray requests die down
};

class TUpgradeFleet : public QObject {
    Q_OBJECT
public:
    // Without a net the fleet makes its own TUpgradeUdpNet. A given net must outlive the fleet.
    explicit TUpgradeFleet(IUpgradeNet *net = nullptr, QObject *parent = nullptr);
    ~TUpgradeFleet() override;

    TUpgradePorts Ports;
    TUpgradeTimes Times;
    TUpFleetOptions Options;
    ILogSink *Log = nullptr; // reasons (each line led by the module's MAC); traffic too when LogTraffic
    bool LogTraffic = false;

    // Events, skipped when empty. They run inside datagram handlers and timers.
    std::function<void(int index)> OnModuleChanged;
    std::function<void()> OnSearch;         // search the LAN now; answers come back through ModuleSeen
    std::function<void(int index)> OnReset; // restore this module's factory settings; ResetAnswered follows
    std::function<void()> OnFinished;       // every module ended

    // Checks the file and the local address, binds, and starts the first modules. False, with
    // reason, when nothing was started (no modules, an unusable file or address, a port that cannot
    // be bound); then every module is left queued.
    bool Start(const QList<TUpFleetTarget> &targets, const QString &localIP, const QString &binFile,
               QString &reason);
    // Ends every transfer now: running and queued modules end as stopped, a module being looked
    // for keeps its success.
    void Stop();
    // A module answered a search.
    void ModuleSeen(const QString &mac, const QString &version);
    // The answer to the factory reset of a module; ignored unless it is the one asked for
    // (PendingReset).
    void ResetAnswered(int index, bool acknowledged, const QString &answer);

    // Why the last Start did nothing, as a kind the windows put in words (None after a start).
    TUpgradeFailure Failure;

    const std::vector<TUpFleetModule> &Modules() const { return FModules; }
    bool Running() const { return FRunning; }
    bool OneAtATime() const { return FOneAtATime; }
    int PendingReset() const { return FPendingReset; }
    bool BindingsOpen() const { return FNet->IsOpen(); }
    // The attempt of a module (tests look at its state).
    const TUpgradeAttempt *Attempt(int index) const;

private:
    class TLink;
    class TModuleLog;
    struct TSlot;

    void route(uint16_t localPort, const QByteArray &bytes, const QString &sender);
    void routeBootp(const QByteArray &bytes, const QString &sender);
    void unattributed(const QByteArray &key);
    int runningAt(const QString &sender) const;
    void deliver(int i, uint16_t localPort, const QByteArray &bytes, const QString &sender);
    void launch(int i);
    void requeue(int i);
    void attemptEnded(int i, TUpgradeState end);
    void setStatus(int i, const QString &key, const QString &suffix = QString());
    void changed(int i);
    void endModule(int i, TUpFleetResult result, const QString &reason = QString());
    void lookedFor(int i);
    void searchTick();
    void startNextReset();
    void schedule(); // pump() once control is back in the event loop
    void pump();
    void finishIfDone();
    bool canaryHolds() const;
    void log(int i, const QString &text, TLogColor color);

    std::unique_ptr<TUpgradeUdpNet> FOwnNet;
    IUpgradeNet *FNet;
    std::vector<TUpFleetModule> FModules; // no implicit sharing: references into it stay good
    std::vector<std::unique_ptr<TSlot>> FSlots;
    QString FLocalIP;
    QString FBinFile;
    QByteArray FHwId;
    bool FRunning = false;
    bool FOneAtATime = false;
    QElapsedTimer FClock;     // since the start
    qint64 FSettleUntilMs = 0;
    // Hardware address and transaction ID of a request with a foreign hardware address -> the
    // module it was taken for, -1 when no module may have it.
    QHash<QByteArray, int> FKeyOwner;
    QTimer FPumpTimer;        // zero-time: pump outside the handlers
    QTimer FSettleTimer;
    QTimer FSearchTimer;
    QTimer FResetTimer;
    QList<int> FResetQueue;
    int FPendingReset = -1;
};
