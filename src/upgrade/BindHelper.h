#pragma once
// Running the binding helper (bexo-z0-bind) for a program that may not bind the upgrade's ports
// below 1024 itself. The helper gets a socket pair's end as descriptor 3 and answers over it.

#include "upgrade/UpgradeBind.h"

#include <QString>
#include <QStringList>
#include <vector>

// Where the helper is looked for, in order: $BEXO_BIND_HELPER when it is set (set but empty: nowhere),
// else beside the program (a build tree), else where the package installs it.
QStringList BindHelperCandidates();
// The first candidate that is a file someone may execute (this user or not: the package's helper
// is for the members of one group); empty when there is none.
QString FindBindHelper();

// One run of the helper with these arguments (the first names the descriptor; the socket is 3).
struct TBindHelperRun {
    QString StartError;       // it could not be started at all
    bool Answered = false;    // a well-formed answer arrived
    TUpHelperReply Reply;
    std::vector<int> Fds;     // sockets that came with the answer; the caller owns them
    bool TimedOut = false;    // no answer in time, killed
    int ExitCode = -1;        // -1 when it ended by a signal
    int Signal = 0;
};
TBindHelperRun ExchangeWithBindHelper(const QString &helper, const QStringList &args, int timeoutMs = 5000);

struct TBindHelperOutcome {
    bool Ok = false;
    int FailedIndex = -1;      // a binding the helper could not make
    int Errno = 0;             // and why
    bool NotPermitted = false; // this user may not run the helper: it is not started at all
    QString Group;             // then the group whose members may run it, when a group may
    QString Reason;            // any other failure, in words
};
// Asks the helper for these bindings on addr. On success fds[i] holds a socket bound as specs[i]
// says; otherwise every fds[i] is -1.
TBindHelperOutcome RunBindHelper(const QString &helper, in_addr addr, const TUpBindRequest *specs, int count, int *fds);
