#include "serial/SerialSession.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Wait.h"
#include "lang/LangList.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <mutex>

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
    } catch (...) {
        FSerialOpened = false;
        return false;
    }
}

void TSerialSession::StartSerial()
{
    if (OpenSerialPort())
        FLog.AddLogInfo(GetLangText(QStringLiteral("lang_ComIsOpen")));
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
