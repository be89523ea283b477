#pragma once
// The LAN side of a front end, as TSerialProtocol is the serial side: it owns the endpoint and the
// device list, wires the endpoint's eleven events once (the dumps, rows from the search replies,
// the status reactions, the page fills) and keeps a record per module (its templates, option
// bytes, binding, model and firmware). A reply is given to the module it came from by the
// address and port it came from. Front ends own a session, react to its signals and print; they
// do not wire the endpoint themselves.

#include "core/LogSink.h"
#include "netconfig/AddressRange.h"
#include "netconfig/Codecs.h"
#include "netconfig/DeviceList.h"
#include "netconfig/ModuleRecord.h"
#include "netconfig/PageBinding.h"
#include "netconfig/Q2Page.h"
#include "netconfig/Q2Write.h"
#include "netconfig/UdpSvr.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Everything a read of one module brings back.
struct TReadResult {
    std::optional<TBaseParam> Base;
    std::optional<TPortParam> Port;
    std::optional<TCloudParam> Cloud;
    std::optional<THeartRegParam> HeartReg;
    std::optional<THttpdParam> Httpd;
    std::optional<TModbusParam> Modbus;
    int ModbusLen = 0;
    std::optional<TModbusPackParam> ModbusPack;
    std::optional<TModbusNewParam> ModbusNew;
    QList<int> Statuses; // the module's answers meanwhile (a password error among them)
};

// A status of the endpoint, with the module it belongs to when it came from one.
struct TLanStatus {
    int Code = 0;
    QString Msg;
    TStatusReaction Reaction; // what the log got (or would have got) and what the window does
    QString Mac;              // the module it is given to (spaced pairs); empty when none
    bool BySender = false;    // given by its sender's address (not by the last command alone)
    QString PeerIP;           // where it came from; empty for the endpoint's own statuses
    int PeerPort = 0;
};

class TLanSession : public QObject {
    Q_OBJECT
public:
    // log gets the dumps, the status lines and the page fills' lines; it must outlive the session.
    explicit TLanSession(ILogSink &log, QObject *parent = nullptr);
    ~TLanSession() override;
    TLanSession(const TLanSession &) = delete;
    TLanSession &operator=(const TLanSession &) = delete;

    // The endpoint; its events are the session's and must not be replaced (the replies would no
    // longer be given to their modules).
    TUdpSvr &Svr() { return FSvr; }
    const TUdpSvr &Svr() const { return FSvr; }
    const TDeviceList &Devices() const { return FDevices; }
    ILogSink &Log() { return *FLog; }
    // Where the dumps, the status lines and the fills' lines go from now on; must outlive the
    // session (or the next SetLog).
    void SetLog(ILogSink &log) { FLog = &log; }

    // The page a read fills (the window's Q2 page, the CLI's) and where its records are collected;
    // either may stay null. Only replies of the page's module reach them, or replies of no known
    // module at all.
    TQ2Page *Page = nullptr;
    TReadResult *PageResult = nullptr;
    // What filled the page: a LAN read sets it to the module the read came from (its record's MAC,
    // model and firmware); the serial side sets it for its own reads.
    TPageBinding PageBinding;
    // May the page go to the row's module? Only to the module it was read from over the LAN, of
    // the same model and firmware, whose record still holds that module's own blocks.
    TSaveCheck CheckSave(const TDeviceRow &row) const;
    // Whether a status goes into the log; empty: every status does. The reaction is reported
    // either way.
    std::function<bool(int code)> LogsStatus;

    // ---- The list ----
    void ClearList();
    // One search: the list emptied first when asked, then the broadcast. Rows come with the
    // replies; a module that answers again after this search has its record brought up to date.
    int Search(bool clearList = true);

    // ---- Search by address ----
    // One search sent to each address instead of the broadcast (modules behind a router never hear
    // that), the list emptied first when asked; at most SearchRate datagrams a second, on a timer.
    // A search by address still sending is replaced. A row whose module answers from an address
    // searched so (since the list was last emptied) is marked with it (SearchedAt), and what is
    // sent to that module goes to that address (its record's SendTo). AddressSearchSent follows
    // the last datagram, with one log line unless quiet (the searches of a run waiting for
    // modules to come back).
    void SearchAddresses(const QList<quint32> &addresses, bool clearList = true, bool quiet = false);
    bool SearchingAddresses() const { return FAddressTimer.isActive(); }
    // Sends no more of a search by address (AddressSearchSent then says how far it got).
    void StopSearchingAddresses();
    int SearchRate = SearchByAddressRate; // datagrams a second, 1 or more

    // ---- Records ----
    const TModuleRecord *Record(const QString &mac) const; // any spacing and case; nullptr when unknown
    TModuleRecord *Record(const QString &mac);
    // The record of a row's module, made from the row when the module has none yet.
    TModuleRecord &RecordOf(const TDeviceRow &row);
    int RecordCount() const { return int(FRecords.size()); }
    // The module whose page is read (the last row read, or the one the window selected), spaced
    // pairs; empty before any.
    QString PageMac() const { return FPageMac; }
    void SetPageModule(const QString &mac) { FPageMac = mac; }

    // ---- Actions on a row ----
    // A row click: the read line, CurMac (and CurBindingIndex for a Q2 row), the read by model.
    // The row's module becomes the page's; a Q2 page hides its Modbus groups until the module
    // sends them.
    TReadOutcome Read(const TDeviceRow &row);
    bool Restart(const TDeviceRow &row); // to the Q2 port whatever the model
    bool Reset(const TDeviceRow &row);   // factory settings, where the model has them
    // The Q2 page written to the row's module on that module's own templates, each frame then its
    // pause; nothing without a row (logged in red).
    TQ2WritePlan Write(const TQ2Page &page, const TDeviceRow *row, const std::function<void(int)> &pause);

    // ---- For runs over many modules ----
    // A command or a block to a module with these credentials; toModelPort sends to the port of
    // its model (the read and the factory reset), else to the Q2 port.
    bool Send(TModuleRecord &module, uint8_t cmd, const QByteArray &payload, bool toModelPort, const QString &user,
              const QString &password);
    // The read of a module, logged as a row click's is, to the port of its model. Nothing else
    // changes (the window's selection stays as it is).
    bool SendRead(TModuleRecord &module, const QString &user, const QString &password);
    // Marks the module as the one that was sent something last: among modules that answer from
    // one address, its replies are taken for it.
    void Commanded(TModuleRecord &module);
    // Replies given to this module also fill this page and these records (both may be null);
    // until Detach. Both must outlive the attachment.
    void Attach(const QString &mac, TQ2Page *page, TReadResult *result);
    void Detach(const QString &mac);

signals:
    void RowAdded(int row);
    void ListAboutToBeCleared();
    void ListCleared();
    // A search reply of a module, row or not (the first reply of a module makes its row).
    void ModuleAnswered(const QString &mac, const QString &version);
    void StatusReported(const TLanStatus &status);
    // The page of the page module: show it, or it changed (after a fill or a rule).
    void ShowPage(int mode);
    void PageFilled(int mode);
    // A search by address has sent its last datagram: sent of total addresses got one.
    void AddressSearchSent(int sent, int total);

private:
    struct TReader {
        QString Mac;
        TQ2Page *Page = nullptr;
        TReadResult *Result = nullptr;
        bool IsPage = false;
    };

    ILogSink *FLog;
    TUdpSvr FSvr;
    TDeviceList FDevices;
    std::vector<std::unique_ptr<TModuleRecord>> FRecords;
    QHash<QString, int> FByMac;                 // 12 digits -> record
    QMultiHash<QString, int> FByAddress;        // reply address -> records
    std::vector<quint64> FCommandedAt;          // per record: when it was last sent something
    quint64 FCommandCount = 0;
    int FLastCommanded = -1;
    int FSearchRound = 0;
    std::vector<int> FHeardInRound;             // per record: the search round of its last update
    QString FPageMac;
    QHash<QString, TReader> FReaders;           // 12 digits -> attached reader
    int FCurrent = -1;                          // record of the datagram being dispatched
    bool FCurrentBySender = false;
    // Search by address: what is left to send, how far it got, and every address searched so
    // since the list was emptied.
    QList<quint32> FAddressQueue;
    int FAddressNext = 0, FAddressSent = 0;
    QElapsedTimer FAddressClock;
    QTimer FAddressTimer;
    bool FSendingSearch = false; // its datagrams are being sent: one log line for all of them
    bool FQuietSearch = false;
    QSet<QString> FSearchedAt;

    void sendAddressSearches();
    void addressSearchDone();

    void wire();
    int indexOf(const QString &mac) const;
    int attribute(const QString &peerIP, int peerPort, bool &bySender) const;
    void heard(const TSearchReply &reply, int model, int binding, const QByteArray &raw, const TDatagramSource &from,
               bool madeRow);
    void setReplyAddress(int index, const QString &ip, int port);
    TModuleRecord *current() const;
    int modelOfCurrent(int portModel) const;
    QList<TReader> readersOfCurrent() const;
};
