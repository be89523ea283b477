#include "netconfig/Backup.h"

#include "core/ProFun.h"
#include "core/SafeFile.h"
#include "netconfig/DeviceList.h"
#include "netconfig/Fleet.h"
#include "netconfig/ModelInfo.h"
#include "netconfig/Q2Write.h"
#include "lang/LangList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringDecoder>

namespace {

const QStringList indexHeader = {QStringLiteral("MAC"),      QStringLiteral("IP"),   QStringLiteral("Name"),
                                 QStringLiteral("Firmware"), QStringLiteral("File"), QStringLiteral("Time")};

// 12 upper-case hex digits of a MAC text (spaces, colons or dashes between pairs allowed); empty
// when it is none.
QString macDigits(const QString &text)
{
    QString t = text;
    t.remove(u' ').remove(u':').remove(u'-');
    if (t.size() != 12)
        return {};
    for (QChar c : t)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return {};
    return t.toUpper();
}

QString spaced(const QString &digits)
{
    QStringList pairs;
    for (int i = 0; i + 1 < digits.size(); i += 2)
        pairs << digits.mid(i, 2);
    return pairs.join(u' ');
}


// A name in the folder that a backup may write: nothing there yet, or a plain file (never through
// a symbolic link, which could lead anywhere).
QString unwritable(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.isSymLink())
        return QStringLiteral("%1 is a symbolic link; a backup writes plain files only").arg(path);
    if (fi.exists() && !fi.isFile())
        return QStringLiteral("%1 is not a plain file").arg(path);
    return {};
}

// Fields of one CSV line as the device export writes them; false for a line that is not.
bool splitCsv(QStringView text, qsizetype &at, QStringList &fields, bool &endOfText)
{
    fields.clear();
    QString field;
    bool quoted = false, wasQuoted = false;
    while (at < text.size()) {
        const QChar c = text[at++];
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (at < text.size() && text[at] == u'"') {
                field += c;
                ++at;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == u'"') {
            if (wasQuoted || !field.isEmpty())
                return false; // a quote inside a plain field, or text after a quoted one
            quoted = wasQuoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r') {
                if (at >= text.size() || text[at] != u'\n')
                    return false;
                ++at;
            }
            fields << field;
            endOfText = at >= text.size();
            return true;
        } else {
            if (wasQuoted)
                return false;
            field += c;
        }
    }
    if (quoted)
        return false;
    fields << field;
    endOfText = true;
    return true;
}

} // namespace

QString BackupFileName(const QString &mac) { return macDigits(mac) + QStringLiteral(".json"); }

QString MacOfBackupFileName(const QString &fileName)
{
    if (fileName.size() != 17 || !fileName.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return {};
    const QString digits = fileName.left(12);
    return digits.contains(u':') || digits.contains(u'-') || digits.contains(u' ') ? QString() : macDigits(digits);
}

QByteArray BackupIndexText(const QList<TBackupEntry> &entries)
{
    QString text = indexHeader.join(u',') + QStringLiteral("\r\n");
    for (const TBackupEntry &e : entries)
        text += QStringList{CsvField(e.Mac), CsvField(e.IP), CsvField(e.Name),
                            e.Firmware > 0 ? QString::number(e.Firmware) : QString(), CsvField(e.File),
                            CsvField(e.Time)}
                    .join(u',') +
                QStringLiteral("\r\n");
    return text.toUtf8();
}

bool ParseBackupIndex(const QByteArray &bytesIn, QList<TBackupEntry> &entries, QString &error)
{
    entries.clear();
    const auto fail = [&](int line, const QString &why) {
        entries.clear();
        error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(why) : why;
        return false;
    };
    if (bytesIn.size() > BackupIndexMaxBytes)
        return fail(0, QStringLiteral("larger than %1 bytes").arg(BackupIndexMaxBytes));
    QByteArray bytes = bytesIn;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        return fail(0, QStringLiteral("not UTF-8 text"));
    qsizetype at = 0;
    QStringList fields;
    bool end = text.isEmpty();
    if (end || !splitCsv(text, at, fields, end) || fields != indexHeader)
        return fail(1, QStringLiteral("not a backup index (the first line must be %1)").arg(indexHeader.join(u',')));
    QSet<QString> seen;
    for (int line = 2; !end; ++line) {
        if (!splitCsv(text, at, fields, end))
            return fail(line, QStringLiteral("not a line of comma-separated fields"));
        if (end && fields == QStringList{QString()})
            break; // the line end of the last line
        if (fields.size() != indexHeader.size())
            return fail(line, QStringLiteral("%1 fields, not %2").arg(fields.size()).arg(indexHeader.size()));
        if (entries.size() >= MaxBackupFiles)
            return fail(line, QStringLiteral("more than %1 modules").arg(MaxBackupFiles));
        TBackupEntry e;
        const QString digits = macDigits(fields[0]);
        if (digits.isEmpty())
            return fail(line, QStringLiteral("not a MAC: \"%1\"").arg(fields[0].left(40)));
        if (seen.contains(digits))
            return fail(line, QStringLiteral("the module %1 appears twice").arg(spaced(digits)));
        seen.insert(digits);
        e.Mac = spaced(digits);
        e.IP = fields[1];
        if (!e.IP.isEmpty() && !IsDottedQuad(e.IP))
            return fail(line, QStringLiteral("not an IPv4 address: \"%1\"").arg(e.IP.left(40)));
        e.Name = fields[2];
        if (e.Name.size() > ProfileMaxText)
            return fail(line, QStringLiteral("a name longer than %1 characters").arg(ProfileMaxText));
        if (!fields[3].isEmpty()) {
            bool ok = false;
            e.Firmware = fields[3].toInt(&ok);
            if (!ok || e.Firmware < 1 || e.Firmware > 65535 || !IsDigits(fields[3]))
                return fail(line, QStringLiteral("not a firmware version: \"%1\"").arg(fields[3].left(40)));
        }
        e.File = fields[4];
        if (e.File != BackupFileName(digits))
            return fail(line, QStringLiteral("the file of %1 must be %2").arg(e.Mac, BackupFileName(digits)));
        e.Time = fields[5];
        if (e.Time.size() > 64)
            return fail(line, QStringLiteral("a time longer than 64 characters"));
        entries.append(e);
    }
    return true;
}

// ---- Backup ----

TFleetFileRun::~TFleetFileRun() = default;

void TFleetFileRun::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    for (int i : FSettled)
        if (OnModuleFinished)
            OnModuleFinished(i, FResults[i]);
    FRun->Start();
}

void TFleetFileRun::Stop()
{
    if (FStarted && !FFinished)
        FRun->Stop();
}

TFleetBackup::TFleetBackup(TLanSession &session, const TFleetOptions &options, const QString &folder,
                           const QList<TFleetTarget> &targets, const TBackupOptions &backup, QObject *parent)
    : TFleetFileRun(parent), FSession(session), FFolder(folder), FBackup(backup), FTargets(targets)
{
    QList<TFleetTarget> reads;
    for (int i = 0; i < targets.size(); ++i) {
        const TFleetTarget &t = targets[i];
        TFleetModuleResult r;
        r.Mac = t.Row ? t.Row->Mac : spaced(macDigits(t.Mac));
        if (!t.Row) {
            r.Result = TFleetResult::NotFound;
            r.Answer = GetLangText(QStringLiteral("lang_Hint_FleetNoSearchAnswer"));
            FSettled << i;
        } else if (!ModelInfo(t.Row->Model).LanWrite) {
            r.IP = t.Row->IP;
            r.Result = TFleetResult::WrongModel;
            r.Answer = GetLangText(QStringLiteral("lang_Hint_FleetProfileQ2Only"))
                           .arg(ModelInfo(t.Row->Model).Name);
            FSettled << i;
        } else {
            FReadIndex << i;
            reads << t;
        }
        FResults << r;
    }
    TFleetOptions o = options;
    o.Job = TFleetJob::Read;
    FRun = std::make_unique<TFleetRun>(session, o, reads);
    FRun->OnModuleFinished = [this](int k, const TFleetModuleResult &r) { saved(FReadIndex[k], r); };
    FRun->OnFinished = [this] {
        writeIndex();
        FFinished = true;
        if (OnFinished)
            OnFinished();
    };
}

TFleetBackup::~TFleetBackup() = default;

bool TFleetBackup::PrepareFolder(const QString &folder, QString &error)
{
    const QFileInfo fi(folder);
    if (fi.exists() && !fi.isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    if (!fi.exists() && !QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    if (!QFileInfo(folder).isWritable()) {
        error = QStringLiteral("cannot write into the folder %1").arg(folder);
        return false;
    }
    return true;
}

void TFleetBackup::saved(int index, const TFleetModuleResult &read)
{
    TFleetModuleResult r = read;
    r.Page.reset(); // what is kept of a module is its file
    r.Read = {};
    if (read.Result == TFleetResult::Ok && read.Page) {
        const TFleetTarget &t = FTargets[index];
        const TModuleRecord *m = FSession.Record(r.Mac);
        const int version = m ? m->Version : RowVersion(*t.Row);
        TProfileSaveOptions so;
        so.Identity = true;
        so.Credentials = FBackup.Credentials;
        TProfile p = ProfileFromPage(*read.Page, version, so);
        p.SavedFrom = r.Mac;
        p.SavedAt = QDateTime::currentDateTime().toString(Qt::ISODate);
        p.Comment = FBackup.Comment;
        const QString name = BackupFileName(r.Mac);
        const QString path = QDir(FFolder).filePath(name);
        QString error = unwritable(path);
        if (p.Fields.isEmpty()) {
            r.Result = TFleetResult::NotSaved;
            r.Answer = GetLangText(QStringLiteral("lang_Hint_FleetNoProfileField"));
        } else if (!error.isEmpty() || !WriteProfileFile(path, p, error)) {
            r.Result = TFleetResult::NotSaved;
            r.Answer = error;
        } else {
            r.File = path;
            r.Answer = GetLangText(QStringLiteral("lang_Hint_FleetSavedFields")).arg(p.Fields.size()).arg(path);
            FEntries.append({r.Mac, t.Row->IP, t.Row->ShownName(), p.Firmware, name, p.SavedAt});
        }
    }
    FResults[index] = r;
    if (OnModuleFinished)
        OnModuleFinished(index, r);
}

void TFleetBackup::writeIndex()
{
    if (FEntries.isEmpty())
        return; // nothing new: an earlier index stays as it was
    const QString path = QDir(FFolder).filePath(BackupIndexName);
    QList<TBackupEntry> all = FEntries;
    QSet<QString> now;
    for (const TBackupEntry &e : FEntries)
        now.insert(e.Mac);
    // The lines of an earlier backup whose files are still here stay in the index.
    const QFileInfo old(path);
    if (old.exists() && !old.isSymLink()) {
        QList<TBackupEntry> earlier;
        QByteArray bytes;
        TFileRefusal refusal = TFileRefusal::None;
        QString why;
        if (ReadRegularFile(path, BackupIndexMaxBytes, bytes, refusal, why) && !ParseBackupIndex(bytes, earlier, why))
            earlier.clear();
        if (!why.isEmpty())
            FIndexWarning = QStringLiteral("the earlier %1 could not be read (%2); it lists this backup's modules "
                                           "only now, the earlier files stay in the folder")
                                .arg(path, why);
        for (const TBackupEntry &e : earlier)
            if (!now.contains(e.Mac) && QFileInfo(QDir(FFolder).filePath(e.File)).isFile())
                all.append(e);
    }
    std::sort(all.begin(), all.end(), [](const TBackupEntry &a, const TBackupEntry &b) { return a.Mac < b.Mac; });
    QString error = unwritable(path);
    if (error.isEmpty() && !SafeWriteFile(path, BackupIndexText(all), error))
        error = QStringLiteral("cannot write %1 (%2)").arg(path, error);
    if (error.isEmpty())
        FIndexPath = path;
    else
        FIndexError = error;
}

// ---- Restore ----

const TRestoreFile *TRestorePlan::FileOf(const QString &mac) const
{
    const QString digits = macDigits(mac);
    for (const TRestoreFile &f : Files)
        if (f.Mac == digits)
            return &f;
    return nullptr;
}

TRestorePlan PlanRestore(const QString &folder, const QStringList &macs)
{
    TRestorePlan plan;
    plan.Folder = folder;
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir()) {
        plan.Problems << QStringLiteral("%1: not a folder").arg(folder);
        return plan;
    }
    if (!QFileInfo(folder).isReadable()) {
        plan.Problems << QStringLiteral("%1: the folder cannot be read").arg(folder);
        return plan;
    }
    QSet<QString> wanted;
    for (const QString &m : macs)
        wanted.insert(macDigits(m));
    // Every entry, pipes and links included: a file named by a MAC that is no plain file is
    // refused, not passed over.
    QMap<QString, QList<QFileInfo>> byMac;
    int count = 0;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &fi : entries) {
        const QString mac = MacOfBackupFileName(fi.fileName());
        if (mac.isEmpty() || (!wanted.isEmpty() && !wanted.contains(mac)))
            continue;
        if (++count > MaxBackupFiles) {
            plan.Problems = {QStringLiteral("%1: more than %2 backup files").arg(folder).arg(MaxBackupFiles)};
            return plan;
        }
        byMac[mac].append(fi);
    }
    for (auto it = byMac.cbegin(); it != byMac.cend(); ++it) {
        const QString &mac = it.key();
        if (it.value().size() > 1) {
            QStringList names;
            for (const QFileInfo &fi : it.value())
                names << fi.fileName();
            plan.Problems << QStringLiteral("%1: two files for the module %2").arg(names.join(QLatin1String(", ")),
                                                                                     spaced(mac));
            continue;
        }
        const QFileInfo &fi = it.value().first();
        const QString name = fi.fileName();
        if (fi.isSymLink()) {
            plan.Problems << QStringLiteral("%1: a symbolic link; a backup holds plain files only").arg(name);
            continue;
        }
        if (!fi.isFile()) {
            plan.Problems << QStringLiteral("%1: not a plain file").arg(name);
            continue;
        }
        TRestoreFile f;
        f.Mac = mac;
        f.Path = fi.filePath();
        QString error;
        if (!ReadProfileFile(f.Path, f.Profile, error)) {
            plan.Problems << QStringLiteral("%1: %2").arg(name, error);
            continue;
        }
        const QString from = macDigits(f.Profile.SavedFrom);
        if (f.Profile.SavedFrom.isEmpty())
            plan.Problems << QStringLiteral("%1: does not say which module it was saved from (no \"savedFrom\")").arg(name);
        else if (from.isEmpty())
            plan.Problems << QStringLiteral("%1: \"savedFrom\" is not a MAC: \"%2\"").arg(name, f.Profile.SavedFrom.left(64));
        else if (from != mac)
            plan.Problems << QStringLiteral("%1: saved from %2, not from the module its name gives (%3)")
                                 .arg(name, spaced(from), spaced(mac));
        else
            plan.Files.append(f);
    }
    return plan;
}

TFleetRestore::TFleetRestore(TLanSession &session, const TFleetOptions &options, const TRestorePlan &plan,
                             const QList<TDeviceRow> &found, const QStringList &macs, QObject *parent)
    : TFleetFileRun(parent), FPlan(plan)
{
    QHash<QString, int> rowOf;
    for (int i = 0; i < found.size(); ++i)
        rowOf.insert(found[i].MacDigits().toUpper(), i);
    QList<TFleetTarget> targets;
    QSet<QString> entered;
    const auto enter = [&](const QString &digits, const TDeviceRow *row) {
        entered.insert(digits);
        const TRestoreFile *file = FPlan.FileOf(digits);
        TFleetModuleResult r;
        r.Mac = row ? row->Mac : spaced(digits);
        r.IP = row ? row->IP : QString();
        if (file)
            r.File = file->Path;
        if (!row) {
            r.Result = TFleetResult::NotFound;
            r.Answer = file ? QStringLiteral("did not answer the search; its file %1 was not restored").arg(file->Path)
                            : QStringLiteral("did not answer the search");
            FSettled << int(FResults.size());
        } else if (!file) {
            r.Result = TFleetResult::NoFile;
            r.Answer = QStringLiteral("no backup file of this module in %1").arg(FPlan.Folder);
            FSettled << int(FResults.size());
        } else {
            FRunIndex << int(FResults.size());
            targets.append({digits, *row, &file->Profile});
        }
        FResults << r;
    };
    if (!macs.isEmpty()) {
        for (const QString &m : macs) {
            const QString digits = macDigits(m);
            if (digits.isEmpty() || entered.contains(digits))
                continue;
            const int i = rowOf.value(digits, -1);
            enter(digits, i < 0 ? nullptr : &found[i]);
        }
    } else {
        // The modules found: every Q2 module, and others only when the backup has their file.
        for (const TDeviceRow &row : found) {
            const QString digits = row.MacDigits().toUpper();
            if (!entered.contains(digits) && (ModelInfo(row.Model).LanWrite || FPlan.FileOf(digits)))
                enter(digits, &row);
        }
        for (const TRestoreFile &f : FPlan.Files)
            if (!entered.contains(f.Mac))
                enter(f.Mac, nullptr);
    }

    // One static IP given by the files to several modules: said on each of them.
    FNotes = QStringList(FResults.size());
    const QString dhcp = TQ2Page().cbb_AddrType.Items.value(0);
    QHash<QString, QList<int>> byStaticIP;
    for (int k = 0; k < targets.size(); ++k) {
        QString ip, type;
        for (const TProfileField &f : targets[k].Profile->Fields) {
            if (f.Name == QLatin1String("StaticIP"))
                ip = f.Value.toString();
            else if (f.Name == QLatin1String("AddrType"))
                type = f.Value.toString();
        }
        if (!ip.isEmpty() && type != dhcp)
            byStaticIP[ip] << k;
    }
    for (auto it = byStaticIP.cbegin(); it != byStaticIP.cend(); ++it) {
        if (it.value().size() < 2)
            continue;
        for (int k : it.value()) {
            QStringList others;
            for (int o : it.value())
                if (o != k)
                    others << targets[o].Row->Mac;
            FNotes[FRunIndex[k]] = QStringLiteral("the backup gives StaticIP %1 to %2 as well")
                                       .arg(it.key(), others.join(QLatin1String(", ")));
        }
    }

    TFleetOptions o = options;
    o.Job = TFleetJob::Write;
    o.Profile = nullptr;
    FRun = std::make_unique<TFleetRun>(session, o, targets);
    FRun->OnModuleFinished = [this](int k, const TFleetModuleResult &r) {
        const int index = FRunIndex[k];
        TFleetModuleResult out = r;
        out.File = FResults[index].File;
        const QString &note = FNotes[index];
        if (!note.isEmpty())
            out.Note = out.Note.isEmpty() ? note : note + QStringLiteral("; ") + out.Note;
        FResults[index] = out;
        if (OnModuleFinished)
            OnModuleFinished(index, out);
    };
    FRun->OnFinished = [this] {
        FFinished = true;
        if (OnFinished)
            OnFinished();
    };
}

TFleetRestore::~TFleetRestore() = default;
