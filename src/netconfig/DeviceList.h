#pragma once
// The device list without widgets: one row per MAC, each keeping the search reply it was made
// from; the reactions to the endpoint's status codes; the device actions and the CSV export.

#include "core/AppError.h"
#include "core/LogSink.h"

#include <QByteArray>
#include <QHash>
#include <QDateTime>
#include <QList>
#include <QString>
#include <stdexcept>

class TUdpSvr;

struct TDeviceRow {
    QString IP;
    QString Name;          // as received, zero bytes included; shown up to the first zero
    QString Mac;           // six spaced upper-case hex pairs
    QString Version;       // decimal text
    int Model = 0;
    int BindingIndex = 0;
    QByteArray SearchReply; // the 36 bytes this row was made from
    // The address it answered a search sent to that address from (a search by address), where
    // every command to it goes as well; empty when it answered the broadcast. Initialised here:
    // rows are made by aggregate initialisation that leaves it out.
    QString SearchedAt = {};

    QString ShownName() const;
    QString MacDigits() const; // the MAC without spaces, as frames and CurMac want it
};

class TDeviceList {
public:
    // One search lists at most this many modules: a flood of forged replies must not cost more.
    static constexpr int MaxRows = 4096;

    QList<TDeviceRow> Rows;
    // Replies of modules left out because the list was full, since the last Clear.
    int Dropped = 0;

    void Clear();
    int Count() const { return int(Rows.size()); }
    int IndexOfMac(const QString &mac) const; // any spacing and case
    // A reply whose MAC a row already has is ignored (the first reply of a module wins). Once the
    // list holds MaxRows rows, replies of other modules are only counted in Dropped; the first of
    // them writes one warning into log (when given). True when a row was added.
    bool AddReply(const QString &AIP, const QString &AName, const QString &AMac, const QString &AVersion, int AModel,
                  int ABindingIndex, const QByteArray &ASearchReply, ILogSink *log = nullptr);

private:
    bool hasMac(const QString &mac) const;
    mutable QHash<QString, int> FRowOfMac; // Mac -> row, for the rows appended through AddReply
};
// The warning of a full list: how many modules one search lists.
QString DeviceListFullText();

// What the window does beyond the log line for a status code.
struct TStatusReaction {
    bool Known = false;       // a code the window reacts to
    bool IsError = false;     // the line is red
    bool OpenLogin = false;   // wrong credentials: the login dialog opens
    bool ClosePage = false;   // the parameter area shows no page
    QString MessageBox;       // a text also shown in a message box
    QString Line;             // the log line written
};
TStatusReaction ReactToStatus(int ACode, const QString &AMsg, ILogSink &log);

// Dumps of the endpoint's traffic in the data-stream pane; a sent datagram also logs
// " Data has been sent" unless logSent is false (the many datagrams of a search by address).
void DumpSentDatagram(ILogSink &log, const QByteArray &AData, const QString &ARemoteIP, const QString &ALocalIP,
                      int ARemotePort, int ALocalPort, bool logSent = true);
void DumpRecvDatagram(ILogSink &log, const QByteArray &AData, const QString &APeerIP, const QString &ALocalIP,
                      int APeerPort, int ALocalPort);

enum class TReadOutcome { SentQ2, SentQ3, Incompatible, NotSent };
// A row click: logs the read line, sets CurMac (and CurBindingIndex for Q2) and sends the read.
TReadOutcome ReadDevice(TUdpSvr &svr, const TDeviceRow &row, ILogSink &log);
// Commands go to the row's SearchedAt when it has one, else to the broadcast address.
// Restart goes to the Q2 port whatever the model.
bool RestartDevice(TUdpSvr &svr, const TDeviceRow &row);
// Factory settings: Q2 and Q3 only; false for other models.
bool ResetDevice(TUdpSvr &svr, const TDeviceRow &row);
// "Copy The Mac" and "Cope All Mac" texts.
QString AllMacsText(const TDeviceList &list);
// "http://" + IP + ":" + the page's web port, 80 when empty.
QString WebAddress(const TDeviceRow &row, const QString &httpPortText);

class EExportError : public EAppError {
public:
    using EAppError::EAppError;
};
// One CSV field: quoted when it holds a comma, a quote, CR or LF; a leading ' when it could start a
// spreadsheet formula (it begins with =, +, -, @, a tab or a CR). Plain fields stay as they are.
QString CsvField(const QString &field);
// The export file's lines, header included, each ended by CR LF.
QByteArray ExportText(const TDeviceList &list);
// File name: folder + menu text + " yyyymmdd hhnnss - (n).csv".
QString ExportFileName(const QString &folder, const QDateTime &when, int rows);
// Writes the export into folder and returns its full path; an empty list writes nothing and
// returns an empty path. Raises EExportError when the file cannot be written.
QString ExportDevices(const TDeviceList &list, const QString &folder, const QDateTime &when);
// The same into ExportFolder(): the program's folder when it can be written, else the user's
// documents folder. The path returned says where the file went.
QString ExportDevices(const TDeviceList &list, const QDateTime &when);
