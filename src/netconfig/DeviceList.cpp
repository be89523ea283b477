#include "netconfig/DeviceList.h"

#include "core/AppPaths.h"
#include "core/Gbk.h"
#include "core/ProFun.h"
#include "core/SafeFile.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/UdpSvr.h"

#include <QDir>

QString TDeviceRow::ShownName() const { return UpToZero(Name); }

QString TDeviceRow::MacDigits() const { return RemoveSpaces(Mac); }

int TDeviceList::IndexOfMac(const QString &mac) const
{
    const QString want = RemoveSpaces(mac).toUpper();
    for (int i = 0; i < Rows.size(); ++i)
        if (RemoveSpaces(Rows[i].Mac).toUpper() == want)
            return i;
    return -1;
}

void TDeviceList::Clear()
{
    Rows.clear();
    FRowOfMac.clear();
    Dropped = 0;
}

bool TDeviceList::hasMac(const QString &mac) const
{
    // The index covers the rows as AddReply made them; rows changed from outside are found by a
    // scan, after which the index is made afresh.
    if (FRowOfMac.size() == Rows.size()) {
        const auto it = FRowOfMac.constFind(mac);
        if (it == FRowOfMac.constEnd())
            return false;
        if (it.value() < Rows.size() && Rows[it.value()].Mac == mac)
            return true;
    }
    FRowOfMac.clear();
    bool found = false;
    for (int i = 0; i < Rows.size(); ++i) {
        FRowOfMac.insert(Rows[i].Mac, i);
        found = found || Rows[i].Mac == mac;
    }
    if (FRowOfMac.size() != Rows.size())
        FRowOfMac.clear(); // two rows of one MAC, put there by hand: scan each time
    return found;
}

bool TDeviceList::AddReply(const QString &AIP, const QString &AName, const QString &AMac, const QString &AVersion,
                           int AModel, int ABindingIndex, const QByteArray &ASearchReply, ILogSink *log)
{
    if (hasMac(AMac))
        return false;
    if (Rows.size() >= MaxRows) {
        if (++Dropped == 1 && log)
            log->AddLog(DeviceListFullText(), TLogColor::Red);
        return false;
    }
    Rows.append({AIP, AName, AMac, AVersion, AModel, ABindingIndex, ASearchReply});
    if (FRowOfMac.size() == Rows.size() - 1)
        FRowOfMac.insert(AMac, int(Rows.size()) - 1);
    return true;
}

QString DeviceListFullText()
{
    return GetLangText(QStringLiteral("lang_Hint_DevListFull")).arg(TDeviceList::MaxRows);
}

TStatusReaction ReactToStatus(int ACode, const QString &AMsg, ILogSink &log)
{
    TStatusReaction r;
    r.Known = true;
    switch (ACode) {
    case StsSearchSent: r.Line = GetLangText(QStringLiteral("lang_H_lv_Dev")); break;
    case StsCheckErr:
        r.IsError = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_CheckErr")) + AMsg;
        break;
    case StsAck: r.Line = GetLangText(QStringLiteral("lang_Hint_ACK")); break;
    case StsOtherErr:
        r.IsError = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_OtherErr"));
        break;
    case StsPswdErr:
        r.IsError = true;
        r.OpenLogin = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_PswdErr"));
        break;
    case StsPortInUse:
        r.IsError = true;
        r.Line = QString::number(SearchPort) + GetLangText(QStringLiteral("lang_Hint_UDPPortInUse"));
        r.MessageBox = r.Line;
        break;
    case StsIncompatible:
        r.IsError = true;
        r.ClosePage = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_VerIncompatible"));
        break;
    case StsUnknownLen:
        r.IsError = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_ReceiveOther")) + AMsg;
        break;
    case StsUnknownLenMore:
        r.IsError = true;
        r.Line = GetLangText(QStringLiteral("lang_Hint_ReceiveOtherMore")).arg(AMsg);
        break;
    default: return {};
    }
    log.AddLog(r.Line, r.IsError ? TLogColor::Red : TLogColor::Green);
    return r;
}

namespace {
// The three data-stream lines of a datagram, the local side always on the left.
void dumpDatagram(ILogSink &log, const QByteArray &data, const QString &arrow, TLogColor color, const QString &localIP,
                  int localPort, const QString &remoteIP, int remotePort)
{
    log.AddHexInfo(QString());
    log.AddHex(LogOpen + localIP + LogColon + QString::number(localPort) + arrow + remoteIP + LogColon +
                   QString::number(remotePort) + LogClose,
               color);
    log.AddHex(LogOpen + QStringLiteral("Length : ") + QString::number(data.size()) + LogClose, color);
    log.AddHexInfo(BytesToHexSpaced(data));
}
} // namespace

void DumpSentDatagram(ILogSink &log, const QByteArray &AData, const QString &ARemoteIP, const QString &ALocalIP,
                      int ARemotePort, int ALocalPort, bool logSent)
{
    dumpDatagram(log, AData, LogSendArrow, TLogColor::Blue, ALocalIP, ALocalPort, ARemoteIP, ARemotePort);
    if (logSent)
        log.AddLogInfo(GetLangText(QStringLiteral("lang_Hint_Sending")));
}

void DumpRecvDatagram(ILogSink &log, const QByteArray &AData, const QString &APeerIP, const QString &ALocalIP,
                      int APeerPort, int ALocalPort)
{
    dumpDatagram(log, AData, LogRecvArrow, TLogColor::Green, ALocalIP, ALocalPort, APeerIP, APeerPort);
}

namespace {
// A command to the port where the row's model takes it (the tests move the real ports).
bool sendToModelPort(TUdpSvr &svr, const TDeviceRow &row, uint8_t cmd)
{
    const TModelInfo &m = ModelInfo(row.Model);
    return m.LanPort == DevPortQ3
               ? svr.SendCmdQ3(row.BindingIndex, row.MacDigits(), cmd, LoginName, LoginPswd, row.SearchedAt)
               : svr.SendCmdQ2(row.BindingIndex, row.MacDigits(), cmd, LoginName, LoginPswd, row.SearchedAt);
}
} // namespace

TReadOutcome ReadDevice(TUdpSvr &svr, const TDeviceRow &row, ILogSink &log)
{
    CurMac = row.MacDigits();
    log.AddLogInfo(GetLangText(QStringLiteral("lang_ts_Read")) + QStringLiteral(" [ Mac : ") + row.Mac +
                   QStringLiteral(" ]"));
    const TModelInfo &m = ModelInfo(row.Model);
    if (!m.OnLan()) {
        log.AddLog(GetLangText(QStringLiteral("lang_Hint_VerIncompatible")), TLogColor::Red);
        return TReadOutcome::Incompatible;
    }
    // The page's later blocks go to the binding of the module whose page is read.
    if (m.LanPage == PageQ2)
        CurBindingIndex = row.BindingIndex;
    if (!sendToModelPort(svr, row, CmdRead))
        return TReadOutcome::NotSent;
    return m.LanPage == PageQ2 ? TReadOutcome::SentQ2 : TReadOutcome::SentQ3;
}

bool RestartDevice(TUdpSvr &svr, const TDeviceRow &row)
{
    return svr.SendCmdQ2(row.BindingIndex, row.MacDigits(), CmdRestart, LoginName, LoginPswd, row.SearchedAt);
}

bool ResetDevice(TUdpSvr &svr, const TDeviceRow &row)
{
    return ModelInfo(row.Model).LanReset && sendToModelPort(svr, row, CmdFactory);
}

QString AllMacsText(const TDeviceList &list)
{
    QStringList macs;
    for (const TDeviceRow &r : list.Rows)
        macs << r.Mac;
    return macs.join(QStringLiteral("\r\n"));
}

QString WebAddress(const TDeviceRow &row, const QString &httpPortText)
{
    return QStringLiteral("http://") + row.IP + u':' + (httpPortText.isEmpty() ? QStringLiteral("80") : httpPortText);
}

QString CsvField(const QString &field)
{
    QString f = field;
    // A spreadsheet takes these first characters as the start of a formula (a tab or CR in front
    // of one as well): a leading ' keeps the field text.
    if (!f.isEmpty() && (f[0] == u'=' || f[0] == u'+' || f[0] == u'-' || f[0] == u'@' || f[0] == u'\t' || f[0] == u'\r'))
        f.prepend(u'\'');
    if (f.contains(u',') || f.contains(u'"') || f.contains(u'\r') || f.contains(u'\n')) {
        f.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        f = u'"' + f + u'"';
    }
    return f;
}

QByteArray ExportText(const TDeviceList &list)
{
    QString text = QStringLiteral("IP,Name,MAC,Ver\r\n");
    for (const TDeviceRow &r : list.Rows)
        text += CsvField(r.IP) + u',' + CsvField(r.ShownName()) + u',' + CsvField(r.Mac) + u',' +
                CsvField(r.Version) + QStringLiteral("\r\n");
    return ToGbk(text);
}

QString ExportFileName(const QString &folder, const QDateTime &when, int rows)
{
    QString menu = GetLangText(QStringLiteral("lang_Menu_ExpDev"));
    // The menu text comes from an editable file: it must not lead the file elsewhere.
    menu.replace(u'/', u'_');
    menu.remove(QChar(0));
    QString dir = folder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    // One substitution: a folder or menu text holding %1 must come out as it is.
    return QStringLiteral("%1%2 %3 - (%4).csv")
        .arg(dir, menu, when.toString(QStringLiteral("yyyyMMdd hhmmss")), QString::number(rows));
}

QString ExportDevices(const TDeviceList &list, const QString &folder, const QDateTime &when)
{
    if (list.Rows.isEmpty())
        return {};
    const QString path = ExportFileName(folder, when, list.Count());
    const QByteArray text = ExportText(list);
    QString reason;
    if (!SafeWriteFile(path, text, reason))
        throw EExportError(QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
    return path;
}

QString ExportDevices(const TDeviceList &list, const QDateTime &when)
{
    return list.Rows.isEmpty() ? QString() : ExportDevices(list, ExportFolder(), when);
}
