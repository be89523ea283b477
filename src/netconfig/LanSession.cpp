#include "netconfig/LanSession.h"

#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/ModelInfo.h"

namespace {
QString digits(const QString &mac) { return RemoveSpaces(mac).toUpper(); }

bool sameMac(const QString &a, const QString &b) { return digits(a) == digits(b); }
} // namespace

TLanSession::TLanSession(ILogSink &log, QObject *parent) : QObject(parent), FLog(&log)
{
    wire();
    // Short ticks: the budget of each follows the clock, so the rate holds whatever the load.
    FAddressTimer.setInterval(10);
    connect(&FAddressTimer, &QTimer::timeout, this, [this] { sendAddressSearches(); });
}

TLanSession::~TLanSession()
{
    // The endpoint's events point here: none may run while the members go.
    FSvr.OnSendData = nullptr;
    FSvr.OnRecvData = nullptr;
    FSvr.OnSearchReply = nullptr;
    FSvr.OnReadParam = nullptr;
    FSvr.OnReadCloud = nullptr;
    FSvr.OnReadHeartReg = nullptr;
    FSvr.OnReadHttpd = nullptr;
    FSvr.OnStatus = nullptr;
    FSvr.OnModbusParam = nullptr;
    FSvr.OnModbusPackParam = nullptr;
    FSvr.OnModbusNewParam = nullptr;
}

// ---- Records ----

int TLanSession::indexOf(const QString &mac) const { return FByMac.value(digits(mac), -1); }

const TModuleRecord *TLanSession::Record(const QString &mac) const
{
    const int i = indexOf(mac);
    return i < 0 ? nullptr : FRecords[size_t(i)].get();
}

TModuleRecord *TLanSession::Record(const QString &mac)
{
    const int i = indexOf(mac);
    return i < 0 ? nullptr : FRecords[size_t(i)].get();
}

TModuleRecord &TLanSession::RecordOf(const TDeviceRow &row)
{
    if (TModuleRecord *r = Record(row.Mac))
        return *r;
    auto m = std::make_unique<TModuleRecord>();
    m->Mac = row.Mac;
    m->IP = row.IP;
    m->Model = row.Model;
    m->Version = RowVersion(row);
    m->BindingIndex = row.BindingIndex;
    m->SearchReply = row.SearchReply;
    m->SendTo = row.SearchedAt;
    const int index = int(FRecords.size());
    FRecords.push_back(std::move(m));
    FCommandedAt.push_back(0);
    FHeardInRound.push_back(-1);
    FByMac.insert(digits(row.Mac), index);
    // Without a search reply of its own, its answers are expected from the address it claims.
    setReplyAddress(index, row.IP, ModelInfo(row.Model).LanPort);
    return *FRecords.back();
}

void TLanSession::setReplyAddress(int index, const QString &ip, int port)
{
    TModuleRecord &r = *FRecords[size_t(index)];
    if (r.ReplyIP == ip && r.ReplyPort == port) // indexed already (an empty address never is)
        return;
    if (!r.ReplyIP.isEmpty())
        FByAddress.remove(r.ReplyIP, index);
    r.ReplyIP = ip;
    r.ReplyPort = port;
    if (!ip.isEmpty())
        FByAddress.insert(ip, index);
}

void TLanSession::heard(const TSearchReply &reply, int model, int binding, const QByteArray &raw,
                        const TDatagramSource &from, bool madeRow)
{
    int i = indexOf(reply.Mac);
    if (i < 0 && !madeRow)
        return; // a full list: no record either, so a flood of forged replies costs nothing
    if (i < 0) {
        TDeviceRow row{reply.IP, reply.Name, reply.Mac, QString::number(reply.Version), model, binding, raw};
        RecordOf(row);
        i = indexOf(reply.Mac);
    } else if (FHeardInRound[size_t(i)] == FSearchRound && !madeRow) {
        return; // the first reply of a module in a search counts, as for its row
    }
    FHeardInRound[size_t(i)] = FSearchRound;
    TModuleRecord &r = *FRecords[size_t(i)];
    r.IP = reply.IP;
    r.Model = model;
    r.Version = reply.Version;
    r.BindingIndex = binding;
    r.SearchReply = raw;
    if (from.Active) {
        setReplyAddress(i, from.PeerIP, from.PeerPort);
        // Found by a search to its address: the broadcast may not reach it, its address does.
        r.SendTo = FSearchedAt.contains(from.PeerIP) ? from.PeerIP : QString();
    }
}

void TLanSession::Commanded(TModuleRecord &module)
{
    const int i = indexOf(module.Mac);
    if (i < 0)
        return;
    FCommandedAt[size_t(i)] = ++FCommandCount;
    FLastCommanded = i;
}

int TLanSession::attribute(const QString &peerIP, int peerPort, bool &bySender) const
{
    // The modules answering from this address; those from its port first. Among several (modules
    // behind one address, or sharing one IP) the one sent something last.
    int best = -1, bestOfPort = -1;
    for (auto it = FByAddress.constFind(peerIP); it != FByAddress.cend() && it.key() == peerIP; ++it) {
        const int i = it.value();
        if (best < 0 || FCommandedAt[size_t(i)] > FCommandedAt[size_t(best)])
            best = i;
        if (FRecords[size_t(i)]->ReplyPort == peerPort &&
            (bestOfPort < 0 || FCommandedAt[size_t(i)] > FCommandedAt[size_t(bestOfPort)]))
            bestOfPort = i;
    }
    if (best >= 0) {
        bySender = true;
        return bestOfPort >= 0 ? bestOfPort : best;
    }
    // A sender no module answered a search from: the module sent something last, if any.
    bySender = false;
    return FLastCommanded;
}

TModuleRecord *TLanSession::current() const
{
    return FSvr.Dispatching().Active && FCurrent >= 0 ? FRecords[size_t(FCurrent)].get() : nullptr;
}

int TLanSession::modelOfCurrent(int portModel) const
{
    // A module known by its search reply is of the model that reply said, whatever port a later
    // block comes from; a sender nobody knows is judged by its port.
    const TModuleRecord *r = current();
    return r && FCurrentBySender ? r->Model : portModel;
}

QList<TLanSession::TReader> TLanSession::readersOfCurrent() const
{
    QList<TReader> out;
    const TModuleRecord *r = current();
    // The page takes the replies of its module, and replies of no module the session knows.
    if ((Page || PageResult) && (!r || sameMac(r->Mac, FPageMac)))
        out.append({FPageMac, Page, PageResult, true});
    // Runs over many modules take only what came from the module's own address.
    if (r && FCurrentBySender) {
        const auto it = FReaders.constFind(r->MacDigits());
        if (it != FReaders.constEnd())
            out.append(*it);
    }
    return out;
}

void TLanSession::Attach(const QString &mac, TQ2Page *page, TReadResult *result)
{
    FReaders.insert(digits(mac), {mac, page, result, false});
}

void TLanSession::Detach(const QString &mac) { FReaders.remove(digits(mac)); }

TSaveCheck TLanSession::CheckSave(const TDeviceRow &row) const
{
    // The bytes the page does not show go back from the module's own record.
    const TModuleRecord *m = Record(row.Mac);
    const QString templateMac = m && m->Templates.HasRead() ? DecodeBaseParam(m->Templates.Read.data()).UserMAC : QString();
    return CheckLanSave(PageBinding, row, templateMac);
}

// ---- List and actions ----

void TLanSession::ClearList()
{
    emit ListAboutToBeCleared();
    FDevices.Clear();
    FSearchedAt.clear();
    emit ListCleared();
}

void TLanSession::SearchAddresses(const QList<quint32> &addresses, bool clearList, bool quiet)
{
    if (SearchingAddresses())
        StopSearchingAddresses();
    if (clearList)
        ClearList();
    ++FSearchRound;
    // As the broadcast does: the replies of this search only, on the bindings of this moment.
    FSvr.SearchReplies.clear();
    CurSearchReply = nullptr;
    FSvr.RefreshBindings();
    FAddressQueue = addresses;
    FAddressNext = FAddressSent = 0;
    FQuietSearch = quiet;
    for (quint32 a : addresses)
        FSearchedAt.insert(AddressText(a));
    FSvr.DoStatus(StsSearchSent, QString());
    FAddressClock.start();
    sendAddressSearches();
    if (FAddressNext < FAddressQueue.size())
        FAddressTimer.start();
    else
        addressSearchDone();
}

void TLanSession::sendAddressSearches()
{
    // As many as the rate allows since the start, the first one at once.
    const qint64 allowed = 1 + FAddressClock.elapsed() * std::max(1, SearchRate) / 1000;
    FSendingSearch = true;
    while (FAddressNext < FAddressQueue.size() && FAddressNext < allowed)
        if (FSvr.SendSearchTo(AddressText(FAddressQueue[FAddressNext++])) > 0)
            ++FAddressSent;
    FSendingSearch = false;
    if (FAddressNext >= FAddressQueue.size() && FAddressTimer.isActive()) {
        FAddressTimer.stop();
        addressSearchDone();
    }
}

void TLanSession::StopSearchingAddresses()
{
    if (!SearchingAddresses())
        return;
    FAddressTimer.stop();
    addressSearchDone();
}

void TLanSession::addressSearchDone()
{
    const int total = int(FAddressQueue.size());
    FAddressQueue.clear();
    if (!FQuietSearch)
        FLog->AddLogInfo(GetLangText(QStringLiteral("lang_Hint_RangeSent"))
                        .arg(QString::number(FAddressSent), QString::number(total)));
    emit AddressSearchSent(FAddressSent, total);
}

int TLanSession::Search(bool clearList)
{
    if (clearList)
        ClearList();
    ++FSearchRound;
    return FSvr.SearchDevices();
}

TReadOutcome TLanSession::Read(const TDeviceRow &row)
{
    TModuleRecord &m = RecordOf(row);
    FPageMac = row.Mac;
    if (Page && ModelInfo(row.Model).LanPage == PageQ2) {
        // The Modbus groups come back only with the module's own blocks.
        Page->HideModbusGroups();
        emit PageFilled(PageQ2);
    }
    Commanded(m);
    const TReadOutcome r = ReadDevice(FSvr, row, *FLog);
    if (r == TReadOutcome::Incompatible)
        emit ShowPage(PageNone);
    return r;
}

bool TLanSession::Restart(const TDeviceRow &row)
{
    Commanded(RecordOf(row));
    return RestartDevice(FSvr, row);
}

bool TLanSession::Reset(const TDeviceRow &row)
{
    Commanded(RecordOf(row));
    return ResetDevice(FSvr, row);
}

TQ2WritePlan TLanSession::Write(const TQ2Page &page, const TDeviceRow *row, const std::function<void(int)> &pause)
{
    TModuleRecord *m = row ? &RecordOf(*row) : nullptr;
    if (m)
        Commanded(*m);
    return WriteQ2Network(page, FSvr, m, *FLog, pause);
}

bool TLanSession::Send(TModuleRecord &m, uint8_t cmd, const QByteArray &payload, bool toModelPort,
                       const QString &user, const QString &password)
{
    Commanded(m);
    const QString mac = m.MacDigits();
    if (toModelPort && ModelInfo(m.Model).LanPort == DevPortQ3)
        return FSvr.SendCmdQ3(m.BindingIndex, mac, cmd, user, password, m.SendTo);
    if (payload.isEmpty())
        return FSvr.SendCmdQ2(m.BindingIndex, mac, cmd, user, password, m.SendTo);
    return FSvr.SendBlockQ2(m.BindingIndex, mac, cmd, user, password,
                            reinterpret_cast<const uint8_t *>(payload.constData()), int(payload.size()), m.SendTo);
}

bool TLanSession::SendRead(TModuleRecord &m, const QString &user, const QString &password)
{
    FLog->AddLogInfo(GetLangText(QStringLiteral("lang_ts_Read")) + QStringLiteral(" [ Mac : ") + m.Mac +
                    QStringLiteral(" ]"));
    return Send(m, CmdRead, {}, true, user, password);
}

// ---- The endpoint's events ----

void TLanSession::wire()
{
    FSvr.OnSendData = [this](const QByteArray &d, const QString &peer, const QString &local, int pp, int lp) {
        DumpSentDatagram(*FLog, d, peer, local, pp, lp, !FSendingSearch);
    };
    FSvr.OnRecvData = [this](const QByteArray &d, const QString &peer, const QString &local, int pp, int lp) {
        DumpRecvDatagram(*FLog, d, peer, local, pp, lp);
        // Whose reply this is, for every event of this datagram; a search reply names its module.
        FCurrentBySender = false;
        FCurrent = IsSearchReply(d) ? -1 : attribute(peer, pp, FCurrentBySender);
        // A module's templates take only its own blocks: those from its address, or those of the
        // page's module when nothing else is known of the sender.
        if (TModuleRecord *r = current(); r && (FCurrentBySender || sameMac(r->Mac, FPageMac)))
            r->Templates.Store(d);
    };
    FSvr.OnSearchReply = [this](const QString &ip, const QString &name, const QString &mac, const QString &ver,
                                int model, int index) {
        const QByteArray raw = FSvr.SearchReplies.isEmpty() ? QByteArray() : FSvr.SearchReplies.last();
        const int at = FDevices.Count();
        const bool added = FDevices.AddReply(ip, name, mac, ver, model, index, raw, FLog);
        const TDatagramSource &from = FSvr.Dispatching();
        if (added && from.Active && FSearchedAt.contains(from.PeerIP))
            FDevices.Rows.last().SearchedAt = from.PeerIP;
        heard(TSearchReply{ip, mac, ver.toInt(), name}, model, index, raw, FSvr.Dispatching(), added);
        if (added)
            emit RowAdded(at);
        emit ModuleAnswered(mac, ver);
    };
    FSvr.OnStatus = [this](int code, const QString &msg) {
        TNullLogSink quiet;
        const bool logged = !LogsStatus || LogsStatus(code);
        TLanStatus s;
        s.Code = code;
        s.Msg = msg;
        s.Reaction = ReactToStatus(code, msg, logged ? *FLog : static_cast<ILogSink &>(quiet));
        const TDatagramSource &from = FSvr.Dispatching();
        if (from.Active) {
            s.PeerIP = from.PeerIP;
            s.PeerPort = from.PeerPort;
            if (const TModuleRecord *r = current()) {
                s.Mac = r->Mac;
                s.BySender = FCurrentBySender;
            }
            for (const TReader &reader : readersOfCurrent())
                if (reader.Result)
                    reader.Result->Statuses << code;
        }
        emit StatusReported(s);
    };
    FSvr.OnReadParam = [this](const TBaseParam &b, const TarrComParam &p, bool fromCom, int model) {
        for (const TReader &reader : readersOfCurrent()) {
            // A base reply of another module than the one read is not this module's.
            const bool mine = reader.Mac.isEmpty() || sameMac(reader.Mac, b.UserMAC);
            if (reader.Result && mine) {
                reader.Result->Base = b;
                if (!p.isEmpty())
                    reader.Result->Port = p.first();
            }
            if (!reader.Page)
                continue;
            const bool filled = reader.Page->OnReadParam(b, p, fromCom, modelOfCurrent(model), reader.Mac, *FLog);
            if (filled && reader.IsPage) {
                // The page is now of the module the read came from, as its record knows it.
                const TModuleRecord *m = current() ? current() : Record(FPageMac);
                PageBinding = m ? TPageBinding::Lan(m->Mac, m->Model, m->Version) : TPageBinding{};
                emit PageFilled(PageQ2);
                emit ShowPage(PageQ2);
            }
        }
    };
    FSvr.OnReadCloud = [this](const TarrCloudParam &c, bool fromCom, int model) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result && !c.isEmpty())
                reader.Result->Cloud = c.first();
            if (reader.Page)
                reader.Page->OnReadCloud(c, fromCom, modelOfCurrent(model));
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
    FSvr.OnReadHeartReg = [this](const uint8_t *block, bool fromCom, int model) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result)
                reader.Result->HeartReg = DecodeHeartRegParam(block);
            if (reader.Page)
                reader.Page->OnReadHeartReg(block, fromCom, modelOfCurrent(model));
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
    FSvr.OnReadHttpd = [this](const QString &url, const QString &header) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result)
                reader.Result->Httpd = THttpdParam{url, header};
            if (reader.Page)
                reader.Page->OnReadHttpd(url, header);
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
    FSvr.OnModbusParam = [this](const TModbusParam &m, int len) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result) {
                reader.Result->Modbus = m;
                reader.Result->ModbusLen = len;
            }
            if (reader.Page)
                reader.Page->OnModbusParam(m, len);
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
    FSvr.OnModbusPackParam = [this](const TModbusPackParam &m, int) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result)
                reader.Result->ModbusPack = m;
            if (reader.Page)
                reader.Page->OnModbusPackParam(m);
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
    FSvr.OnModbusNewParam = [this](const TModbusNewParam &m, int) {
        for (const TReader &reader : readersOfCurrent()) {
            if (reader.Result)
                reader.Result->ModbusNew = m;
            if (reader.Page)
                reader.Page->OnModbusNewParam(m);
            if (reader.IsPage)
                emit PageFilled(PageQ2);
        }
    };
}
