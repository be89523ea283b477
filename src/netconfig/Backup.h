#pragma once
// Backups of many modules: a folder holding one profile per module, named by its MAC
// ("001A2B3C4D5E.json", the module's identity StaticIP and ModName included), and an index of them
// ("index.csv": MAC, IP, name, firmware, file, time). A restore puts each module's own file back:
// a file is written only to the module it was saved from, by its name and by the MAC it holds.
// Every file of the folder is outside input: what the profile reader refuses is refused, and so
// is a file that is no plain file or names another module; a refused file stops the restore
// before anything is sent.
//
// Both run on the fleet engine (a read, or a write with each module's own profile) and give one
// result per module in the order of their entries, as the other batch jobs do.

#include "netconfig/FleetRun.h"
#include "netconfig/Profile.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

inline const QString BackupIndexName = QStringLiteral("index.csv");
constexpr int MaxBackupFiles = 4096;
constexpr qint64 BackupIndexMaxBytes = 1024 * 1024;

// "00 1A 2b 3C 4D 5E" -> "001A2B3C4D5E.json".
QString BackupFileName(const QString &mac);
// "001a2b3c4d5e.json" -> "001A2B3C4D5E"; empty for any other name.
QString MacOfBackupFileName(const QString &fileName);

// One line of the index.
struct TBackupEntry {
    QString Mac;  // spaced upper-case pairs
    QString IP;   // where it answered at the backup
    QString Name; // its name as shown
    int Firmware = 0;
    QString File; // the file's name in the folder
    QString Time; // when it was read, ISO 8601 local time
    bool operator==(const TBackupEntry &o) const = default;
};
// The index's text: a header line, then one line per entry, CR LF, UTF-8, fields as the device
// export quotes them.
QByteArray BackupIndexText(const QList<TBackupEntry> &entries);
// Reads an index back (the one written before, when a later backup adds to the folder); false
// with the first fault (its line) and no entries.
bool ParseBackupIndex(const QByteArray &bytes, QList<TBackupEntry> &entries, QString &error);

struct TBackupOptions {
    bool Credentials = false; // UserName and Password as well
    QString Comment;
};

// What a backup and a restore share: one entry per module, some settled before the network (no
// file, not found), the others run by a fleet run; results reported as they come.
class TFleetFileRun : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TFleetFileRun() override;

    std::function<void(int index, const TFleetModuleResult &result)> OnModuleFinished;
    std::function<void()> OnFinished;

    void Start();
    void Stop();
    bool Finished() const { return FFinished; }
    int Count() const { return int(FResults.size()); }
    QList<TFleetModuleResult> Results() const { return FResults; }

protected:
    QList<TFleetModuleResult> FResults;
    QList<int> FSettled; // entries that need no network
    std::unique_ptr<TFleetRun> FRun;
    bool FStarted = false, FFinished = false;
};

// Reads each Q2 target and writes its profile into the folder (created when missing) as soon as
// it is read; a module that cannot be read keeps its earlier file. At the end the index is
// written: this backup's modules, and the earlier index's lines of modules whose files are still
// in the folder. Results: ok (Answer "saved N fields to PATH", File), not saved, and the fleet
// read's own (not found, wrong model, no answer, refused).
class TFleetBackup : public TFleetFileRun {
    Q_OBJECT
public:
    TFleetBackup(TLanSession &session, const TFleetOptions &options, const QString &folder,
                 const QList<TFleetTarget> &targets, const TBackupOptions &backup = {}, QObject *parent = nullptr);
    ~TFleetBackup() override;

    // After the end: the index written (empty when no module was saved), or why it was not.
    QString IndexPath() const { return FIndexPath; }
    QString IndexError() const { return FIndexError; }
    // An earlier index that could not be read, and was replaced (its modules' files stay).
    QString IndexWarning() const { return FIndexWarning; }
    // The folder made ready (created when missing); false with a reason when it cannot hold files.
    static bool PrepareFolder(const QString &folder, QString &error);

private:
    TLanSession &FSession;
    QString FFolder;
    TBackupOptions FBackup;
    QList<TFleetTarget> FTargets;
    QList<int> FReadIndex; // run index -> entry
    QList<TBackupEntry> FEntries;
    QString FIndexPath, FIndexError, FIndexWarning;

    void saved(int index, const TFleetModuleResult &read);
    void writeIndex();
};

// One file of a backup folder.
struct TRestoreFile {
    QString Mac;  // 12 hex digits, from its name
    QString Path;
    TProfile Profile;
};

struct TRestorePlan {
    QString Folder;
    QList<TRestoreFile> Files; // in the order of their MACs
    QStringList Problems;      // "FILE: why" for each refused file; any of them stops a restore
    const TRestoreFile *FileOf(const QString &mac) const; // any spacing and case; nullptr when none
};
// Reads the backup files of the folder: those of macs, or every file named by a MAC when macs is
// empty (other files, the index among them, are left alone). A file is refused when it is no plain
// file (a symbolic link, a folder, a pipe), when the profile reader refuses it, when it does not
// say which module it was saved from, or names another module than its file name; two files for
// one module, a folder that cannot be read and more than MaxBackupFiles files are refused too.
TRestorePlan PlanRestore(const QString &folder, const QStringList &macs = {});

// Writes each module's own file back. Entries: with macs, one per MAC in that order; without,
// every Q2 module found (then the other found modules that have a file), then every file whose
// module was not found. A module found without a file is "no file", a file or MAC without a
// module "not found"; the rest are the fleet write's results (options: Write, with DryRun, Verify
// and the times). Modules whose files give them one static IP get a note.
class TFleetRestore : public TFleetFileRun {
    Q_OBJECT
public:
    TFleetRestore(TLanSession &session, const TFleetOptions &options, const TRestorePlan &plan,
                  const QList<TDeviceRow> &found, const QStringList &macs = {}, QObject *parent = nullptr);
    ~TFleetRestore() override;


private:
    const TRestorePlan FPlan;
    QList<int> FRunIndex; // run index -> entry
    QStringList FNotes;   // per entry, joined to the run's own note
};
