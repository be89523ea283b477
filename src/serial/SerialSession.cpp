#include "serial/SerialSession.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Wait.h"
#include "lang/LangList.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <mutex>
#include <algorithm>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex ProviderMutex;
std::function<QStringList()> PortsProvider;

QStringList SystemSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names.append(info.portName());
    // Ports the system does not list, such as the pseudo-terminals of simulated modules.
    const QString extra = qEnvironmentVariable(ExtraSerialPortsVariable);
    for (const QString &path : extra.split(u':', Qt::SkipEmptyParts))
        if (!names.contains(path) && QFileInfo::exists(path))
            names.append(path);
    return names;
}

} // namespace

QString SerialDirectionLine(bool sent)
{
    return LogOpen + LogPC + (sent ? LogSendArrow : LogRecvArrow) + LogDevice + LogClose;
}

QString SerialLengthLine(int count)
{
    return LogOpen + QStringLiteral("Length : ") + QString::number(count) + LogClose;
}

TSerialSession::TSerialSession(TComm &comm, ILogSink &log) : Wait(WaitWithMessages), FComm(comm), FLog(log)
{
    FComm.OnReceiveData = [this](TComm *, const uint8_t *buffer, uint16_t length) {
        if (OnReceiveData) {
            auto handler = OnReceiveData; // it may reassign itself
            handler(buffer, length);
        }
    };
}

TSerialSession::~TSerialSession()
{
    FComm.OnReceiveData = nullptr;
}

uint32_t TSerialSession::BaudFromText(const QString &text)
{
    int value = 0;
    if (TryStrToInt(text, value) && value > 0)
        return uint32_t(value);
    return 9600;
}

bool TSerialSession::OpenSerialPort()
{
    const QString name = PortName;
    FOpenDenied = false;
    if (name.isEmpty())
        return false;
    try {
        FComm.ClosePort();
        FComm.SetCommName(name);
        FComm.SetBaudRate(BaudFromText(BaudText));
        FComm.SetParityCheck(false);
        FComm.SetParity(TParity::None);
        FComm.SetByteSize(TByteSize::_8);
        FComm.SetStopBits(TStopBits::_1);
        FComm.OpenPort();
        FSerialOpened = true;
        return true;
    } catch (const ECommsError &e) {
        FSerialOpened = false;
        FOpenDenied = e.PermissionDenied();
        return false;
    } catch (...) {
        FSerialOpened = false;
        return false;
    }
}

void TSerialSession::StartSerial()
{
    if (OpenSerialPort())
        FLog.AddLogInfo(GetLangText(QStringLiteral("lang_ComIsOpen")));
    else if (FOpenDenied)
        FLog.AddLog(SerialPermissionText(PortName), TLogColor::Red);
    else
        FLog.AddLog(GetLangText(QStringLiteral("lang_ComIsNo")), TLogColor::Red);
}

void TSerialSession::StopSerial()
{
    FComm.ClosePort();
    FSerialOpened = false;
    FLog.AddLogInfo(GetLangText(QStringLiteral("lang_ComIsClose")));
}

void TSerialSession::SendSerialFrame(const QByteArray &frame)
{
    try {
        // A frame longer than a send can carry is refused whole, never cut short.
        const bool queued = FSerialOpened && frame.size() <= 0xFFFF &&
                            FComm.SendData(frame.constData(), uint16_t(frame.size()));
        if (!queued) {
            FLog.AddLog(GetLangText(QStringLiteral("lang_Ts_ComSendFailure")), TLogColor::Red);
            return;
        }
        FLog.AddHex(SerialDirectionLine(true), TLogColor::Blue);
        FLog.AddHex(SerialLengthLine(int(frame.size())), TLogColor::Blue);
        FLog.AddHexInfo(BytesToHexSpaced(frame));
        FLog.AddLogInfo(GetLangText(QStringLiteral("lang_ts_Send")) + GetLangText(QStringLiteral("lang_ts_OK")));
    } catch (...) {
        // A failing sink must not take the session down.
    }
}

void TSerialSession::RunSession(const std::function<void()> &send)
{
    StartSerial();
    struct Finally {
        TSerialSession &s;
        ~Finally()
        {
            try {
                if (s.Wait)
                    s.Wait(SerialWaitMs);
            } catch (...) {
            }
            try {
                s.StopSerial();
            } catch (...) {
            }
        }
    } finally {*this};
    if (send)
        send();
}

void TSerialSession::RunSession(const QByteArray &request)
{
    RunSession([this, &request] { SendSerialFrame(request); });
}

QStringList ListSerialPorts()
{
    std::function<QStringList()> provider;
    {
        std::lock_guard<std::mutex> lock(ProviderMutex);
        provider = PortsProvider;
    }
    return provider ? provider() : SystemSerialPorts();
}

void SetSerialPortsProvider(std::function<QStringList()> provider)
{
    std::lock_guard<std::mutex> lock(ProviderMutex);
    PortsProvider = std::move(provider);
}

QString TSerialPortList::Text() const
{
    return ItemIndex >= 0 && ItemIndex < Items.size() ? Items[ItemIndex] : QString();
}

void RefreshSerialPorts(TSerialPortList &list)
{
    list.Items.clear();
    list.ItemIndex = -1;
    list.Items = ListSerialPorts();
}

void CloseUpSerialPorts(TSerialPortList &list)
{
    if (list.ItemIndex < 0 && !list.Items.isEmpty())
        list.ItemIndex = 0;
}

void ChooseSerialPort(TSerialPortList &list, const QString &keep)
{
    RefreshSerialPorts(list);
    list.ItemIndex = keep.isEmpty() ? -1 : int(list.Items.indexOf(keep));
    CloseUpSerialPorts(list);
}

namespace {

QString groupName(gid_t gid)
{
    const group *g = ::getgrgid(gid);
    return g && g->gr_name ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

QString userName(uid_t uid)
{
    const passwd *p = ::getpwuid(uid);
    return p && p->pw_name ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

// Whether this process carries the group now.
bool processHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = std::max(::getgroups(n, groups.data()), 0);
    return std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the user's account lists the group (it may have been added after this session began).
bool accountHasGroup(gid_t gid)
{
    const passwd *p = ::getpwuid(::geteuid());
    if (!p || !p->pw_name)
        return false;
    const QByteArray name(p->pw_name);
    const gid_t primary = p->pw_gid;
    int n = 64;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    if (::getgrouplist(name.constData(), primary, groups.data(), &n) < 0) {
        groups.resize(size_t(n));
        if (::getgrouplist(name.constData(), primary, groups.data(), &n) < 0)
            return false;
    }
    return std::find(groups.begin(), groups.begin() + n, gid) != groups.begin() + n;
}

} // namespace

QString SerialPermissionText(const QString &port)
{
    const QString path = (port.startsWith(u'/') || port.startsWith(QLatin1String("./")) ||
                          port.startsWith(QLatin1String("../")))
                             ? port
                             : QStringLiteral("/dev/") + port;
    struct stat st {};
    const bool known = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    const bool groupMayUse = known && (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    if (known && !groupMayUse)
        return GetLangText(QStringLiteral("lang_ComDeniedOwner"))
            .replace(QStringLiteral("%1"), path)
            .replace(QStringLiteral("%2"), userName(st.st_uid));
    // Without the file's group the usual one for serial ports is named.
    const QString group = known ? groupName(st.st_gid) : QStringLiteral("dialout");
    const bool relogin = known && !processHasGroup(st.st_gid) && accountHasGroup(st.st_gid);
    return GetLangText(relogin ? QStringLiteral("lang_ComDeniedRelogin") : QStringLiteral("lang_ComDenied"))
        .replace(QStringLiteral("%1"), path)
        .replace(QStringLiteral("%2"), group);
}
