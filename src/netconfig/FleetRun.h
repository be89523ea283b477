#pragma once
// One job over many modules at once, on timers and the session's events (never a blocking
// sleep): at most Parallel modules run together, each with its own sequence and its own pauses.
// Acknowledgements carry no MAC, so an answer is given to a module by the address it comes from;
// modules that answer from one address therefore run one after the other, never together. Each
// module ends with a result of its own, in the order the targets were given.

#include "netconfig/Fleet.h"
#include "netconfig/LanSession.h"
#include "netconfig/Profile.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

enum class TFleetJob {
    Read,    // read each module: its records and its page
    Write,   // read, apply a profile and NAME=VALUE fields, validate, write every block, restart
    Restart, // the restart command
    Reset,   // factory settings, where the model has them
};

// The waits and pauses of a run; tests make them short.
struct TFleetTimes {
    int AnswerWaitMs = 1500;            // how long a module's answers are waited for
    int BlockPauseMs = ::BlockPauseMs;  // after each block but the Modbus ones
    int RestartPauseMs = ::RestartPauseMs; // added before the restart
    int VerifyTimeoutMs = 20000;        // for a restarted module to answer a search again
    int VerifyPollMs = 500;             // searches while modules are waited for
};

constexpr int DefaultParallel = 32;

struct TFleetOptions {
    TFleetJob Job = TFleetJob::Restart;
    int Parallel = DefaultParallel; // 1 runs the modules one after the other, in order
    TFleetTimes Times;
    QString User = LoginName;   // the credentials of every frame
    QString Password = LoginPswd;
    // Write:
    bool DryRun = false;
    bool Verify = false;              // after the restart, read back and compare every field written
    const TProfile *Profile = nullptr; // applied first; must outlive the run
    QStringList Assignments;          // NAME=VALUE, after the profile
};

struct TFleetTarget {
    QString Mac;                  // 12 hex digits
    std::optional<TDeviceRow> Row; // nothing: it did not answer the search
    // Write: this module's own profile (a restore), applied instead of the run's; must outlive
    // the run.
    const TProfile *Profile = nullptr;
};

// What happened to one module.
struct TFleetModuleResult {
    QString Mac; // spaced upper-case pairs
    QString IP;
    TFleetResult Result = TFleetResult::Ok;
    QString Answer; // the module's answer, or what happened instead
    QString Note;
    QString File; // backup and restore: the module's file
    QList<TFieldChange> Changes;
    QList<TSkippedField> Skipped;
    QList<TFieldMismatch> Mismatches;
    QStringList Answers; // each answer of the module, as its log line, in order
    // Modules of the run that claim the same IP; they were run one after the other.
    QStringList SharedWith;
    // Write: the frames (planned, for a dry run), how many were acknowledged, the fields written.
    QList<TPlannedFrame> Frames;
    int Acks = 0;
    QString Summary;        // "N of M frames acknowledged"
    QStringList Written;    // the fields the write carried
    bool BadValue = false;  // a NAME=VALUE value the module's page does not take (Answer says why)
    bool Verified = false;  // read back as written
    // Read: what the module sent, and the page it filled.
    TReadResult Read;
    std::shared_ptr<TQ2Page> Page;
};

class TFleetRun : public QObject {
    Q_OBJECT
public:
    // The session sends and hears for the run; it must outlive the run.
    TFleetRun(TLanSession &session, const TFleetOptions &options, const QList<TFleetTarget> &targets,
              QObject *parent = nullptr);
    ~TFleetRun() override;

    // Outputs, each skipped when empty. They run inside the session's events and the timers.
    std::function<void(int index)> OnModuleStarted;
    std::function<void(int index, const TFleetModuleResult &result)> OnModuleFinished;
    std::function<void()> OnFinished;

    // Starts the first modules; results of modules that need no network (not found, wrong
    // model) come at once. Finished() may be true on return.
    void Start();
    // Ends every module still running or waiting: "no answer" for those that started, and nothing
    // more is sent.
    void Stop();
    bool Finished() const { return FStarted && FDone == int(FJobs.size()); }
    int Running() const { return FRunning; }
    // The most modules that ran at once.
    int MostAtOnce() const { return FMostAtOnce; }
    const TFleetModuleResult &Result(int index) const;
    QList<TFleetModuleResult> Results() const;
    int Count() const { return int(FJobs.size()); }

private:
    enum class TStep { Waiting, Reading, Sending, AwaitAcks, AwaitBack, ReadingBack, Commanding, Done };
    struct TJob {
        TFleetTarget Target;
        TFleetModuleResult R;
        QStringList Lanes; // the address its answers come from and the IP it claims
        TStep Step = TStep::Waiting;
        QTimer *Timer = nullptr; // a child of the run
        std::unique_ptr<TQ2Page> Page, ReadBack;
        TReadResult Read;
        TQ2WritePlan Plan;
        TProfileApplied Applied;
        QList<int> Codes;      // its answers' status codes, as R.Answers
        int Frame = 0;         // the next frame to send
        int AnswersAtSend = 0; // answers before the first frame
        int ReadFrom = 0;      // answers before the read (or the command)
        QString User, Password;
    };

    TLanSession &FSession;
    TFleetOptions FOptions;
    std::vector<std::unique_ptr<TJob>> FJobs;
    QHash<QString, int> FByMac; // 12 digits -> job
    QSet<QString> FBusy;        // lanes of the running modules
    int FRunning = 0, FDone = 0, FMostAtOnce = 0;
    bool FStarted = false, FStopped = false, FScheduling = false, FFinishedSaid = false;
    QTimer FPoll; // searches while restarted modules are waited for
    QElapsedTimer FClock;

    TModuleRecord *record(TJob &j);
    void schedule();
    void begin(int index);
    void finish(int index);
    void arm(TJob &j, int ms, std::function<void()> then);
    void onStatus(const TLanStatus &s);
    void onAnswered(const QString &mac);
    void startRead(int index, bool back);
    void readDone(int index, bool back);
    void sendFrames(int index);
    void acksDone(int index);
    void startCommand(int index);
    void commandDone(int index);
    void waitBack(int index);
    void poll();
    int runningFor(const QString &mac) const;
    QString firstRefusal(const TJob &j, int from, int count) const;
    bool expectsAnswers(const TJob &j) const;
};
