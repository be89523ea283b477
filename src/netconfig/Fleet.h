#pragma once
// Rules for acting on many modules: which fields a Q2 write really carries, comparing what was
// written with what a module reads back, the warnings a search list deserves (one IP answered by
// several MACs, a module outside the subnets of the interface it answered on), and the results of
// a batch.

#include "netconfig/DeviceList.h"
#include "netconfig/PageBinding.h"
#include "netconfig/PageFields.h"
#include "netconfig/Q2Page.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Empty when a write of this page to a module of this firmware version carries the field;
// otherwise why it does not (no such block on this module, or a setting that leaves it out).
QString Q2FieldNotWritten(const TQ2Page &page, int version, const TPageField<TQ2Page> &field);
QString Q2FieldNotWritten(const TQ2Page &page, int version, const QString &name);

// A field whose value read back differs from the value written.
struct TFieldMismatch {
    QString Field;
    QString Wanted;
    QString Got;
};
// Compares the named fields of the page that was written with the page filled from the module's
// answer to a read. Numbers compare by value, addresses by their four bytes, hex data without
// regard to case; everything else as text.
QList<TFieldMismatch> CompareQ2Fields(const TQ2Page &written, const TQ2Page &readBack, const QStringList &names);

// Whether the page's changed fields may go to the selected rows: the page was read over the LAN
// from a Q2 module, and the selection holds two Q2 rows or more, or one Q2 row of another module
// (the page's own module alone is what the Save button is for).
bool ApplyToSelectedAllowed(const TPageBinding &page, const QList<TDeviceRow> &selected);

// Fields that tell one module from another, and its login; left out of profiles unless asked.
const QStringList &IdentityFields();   // StaticIP, ModName
const QStringList &CredentialFields(); // UserName, Password
// A reason to refuse writing the same values to count modules, or empty: one static IP given to
// several modules makes them all unreachable but one.
QString SharedValueProblem(const QStringList &fieldNames, int count);

// One address of a local interface with its mask.
struct TSubnet {
    QString IP;
    QString Mask;
};
// The IPv4 subnets of the interface that holds the address (empty when no interface holds it).
QList<TSubnet> InterfaceSubnets(const QString &localIP);

struct TRowWarning {
    enum Kind { DuplicateIP, ForeignSubnet };
    Kind WarningKind = DuplicateIP;
    QString Text;
    QString Advice; // what to do about it (the window's tool tip says it after the text)
    // DuplicateIP: the first other MACs answering with this IP (at most DuplicateMacsListed), in
    // row order, and how many more there are beyond them.
    QStringList OtherMacs;
    int MoreMacs = 0;
};
// However many modules share one address, a warning names only this many of the others.
constexpr int DuplicateMacsListed = 3;
// One list of warnings per row, in row order. subnetsOf(binding index) gives the subnets of the
// binding a row answered on; a binding without known subnets gives no subnet warning, nor does a
// row found by a search sent to its address (it is reached through a router). The cost grows
// with the number of rows, not with its square.
QList<QList<TRowWarning>> FindSearchConflicts(const QList<TDeviceRow> &rows,
                                              const std::function<QList<TSubnet>(int)> &subnetsOf);

// The outcome for one module of a batch.
enum class TFleetResult {
    Ok,         // every frame acknowledged (and, when verified, every field read back)
    DryRun,     // planned, nothing written
    NotFound,   // did not answer the search
    WrongModel, // the command does not serve this model
    NoAnswer,   // silence where an answer was due
    Refused,    // the module answered with a password, checksum or other error
    Invalid,    // the values did not pass the page's checks; nothing sent
    NotBack,    // verification: no answer to a search within the wait after the restart
    Mismatch,   // verification: a field read back differs
    NoFile,     // restore: the backup holds no file of this module
    NotSaved,   // backup: read, but its file could not be written (or would hold nothing)
};
// "ok", "not found", ...: the same in every language (JSON output, scripts).
QString FleetResultName(TFleetResult r);
// The result as a user reads it, in the current language (the English text is the name).
QString FleetResultText(TFleetResult r);
