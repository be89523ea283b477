#include "gui/SerialTab.h"

#include "core/Public.h"
#include "gui/BaudInput.h"
#include "gui/SearchColumn.h"
#include "netconfig/Codecs.h"
#include "netconfig/PageControls.h"
#include "serial/SerialProtocol.h"
#include "serial/SerialSession.h"

#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>

TSerialTab::TSerialTab(TComm &comm, ILogSink &log, TQ2Page &q2, TQ1Page &q1, TSearchColumn *column, QObject *parent)
    : QObject(parent), FColumn(column), FSession(std::make_unique<TSerialSession>(comm, log)),
      FProtocol(std::make_unique<TSerialProtocol>(*FSession, q2, q1))
{
    FProtocol->ShowPage = [this](int mode) {
        if (ShowPage)
            ShowPage(mode);
    };
    FProtocol->PageFilled = [this](int page) {
        // The page is now of the module on the line.
        if (page == PageQ2) {
            const QByteArray &read = FProtocol->LastRead;
            *Q2Binding = TPageBinding::Serial(
                ModelQ2, read.size() == LenBase + LenPort
                             ? DecodeBaseParam(reinterpret_cast<const uint8_t *>(read.constData())).UserMAC
                             : QString());
        } else if (page == PageQ1) {
            *Q1Binding = TPageBinding::Serial(FProtocol->RequestModel);
        }
        if (RefreshPages)
            RefreshPages();
    };
    FProtocol->ClearPanes = [this] {
        if (ClearPanes)
            ClearPanes();
    };
    FProtocol->ReadButtonEnabled = [this](bool on) { FColumn->btn_ComRead->setEnabled(on); };
    FProtocol->ShowMessage = [this, &log](const QString &message) {
        if (ShowMessage)
            ShowMessage(message);
        else
            log.AddLog(message, TLogColor::Red);
    };

    TComboState baud;
    InitSoftBitRate(baud);
    FColumn->cbbSoftBitRate->clear();
    FColumn->cbbSoftBitRate->addItems(baud.Items);
    FColumn->cbbSoftBitRate->setCurrentIndex(baud.Index);
    // Any choice of the list; the answer moves the selection off the custom entry again.
    connect(FColumn->cbbSoftBitRate, &QComboBox::currentIndexChanged, this, &TSerialTab::cbbSoftBitRateClick);
    connect(FColumn->cbb_SelectCom, &TDropDownComboBox::DropDown, this, &TSerialTab::cbb_SelectComDropDown);
    connect(FColumn->cbb_SelectCom, &TDropDownComboBox::CloseUp, this, &TSerialTab::cbb_SelectComCloseUp);
}

// The protocol lets go of the session and the session of the port component before they go.
TSerialTab::~TSerialTab()
{
    FProtocol.reset();
    FSession.reset();
}

int TSerialTab::SerialModel() const
{
    switch (FColumn->QNum()) {
    case 2: return ModelQ2;
    case 3: return ModelQ3;
    default: return ModelQ1;
    }
}

void TSerialTab::cbb_SelectComDropDown()
{
    TSerialPortList ports;
    RefreshSerialPorts(ports);
    TDropDownComboBox *combo = FColumn->cbb_SelectCom;
    combo->clear();
    combo->addItems(ports.Items);
    combo->setCurrentIndex(ports.ItemIndex);
}

void TSerialTab::cbb_SelectComCloseUp()
{
    TDropDownComboBox *combo = FColumn->cbb_SelectCom;
    TSerialPortList ports;
    for (int i = 0; i < combo->count(); ++i)
        ports.Items << combo->itemText(i);
    ports.ItemIndex = combo->currentIndex();
    CloseUpSerialPorts(ports);
    combo->setCurrentIndex(ports.ItemIndex);
}

void TSerialTab::TabChosen()
{
    TDropDownComboBox *combo = FColumn->cbb_SelectCom;
    TSerialPortList ports;
    ChooseSerialPort(ports, combo->currentText());
    combo->clear();
    combo->addItems(ports.Items);
    combo->setCurrentIndex(ports.ItemIndex);
}

void TSerialTab::cbbSoftBitRateClick()
{
    AskCustomBaud(FColumn->cbbSoftBitRate);
}

void TSerialTab::takeLineChoice()
{
    FSession->PortName = FColumn->cbb_SelectCom->currentText();
    FSession->BaudText = FColumn->cbbSoftBitRate->currentText();
}

void TSerialTab::run(const std::function<void()> &exchange)
{
    // The session's wait handles events, clicks among them.
    if (FBusy)
        return;
    const QScopedValueRollback busy(FBusy, true);
    takeLineChoice();
    exchange();
}

bool TSerialTab::Click(QObject *button)
{
    const QString name = button ? button->objectName() : QString();
    if (name == QLatin1String("btn_ComRead")) {
        run([this] { FProtocol->ComReadAnyModel(SerialModel()); });
        return true;
    }
    const bool q1 = name == QLatin1String("btn_ComSet");
    if (!q1 && name != QLatin1String("btn_Q2ComSet"))
        return false;
    if (FBusy)
        return true;
    const TPageBinding &binding = q1 ? *Q1Binding : *Q2Binding;
    const TSaveCheck check = CheckSerialSave(binding, q1 ? ModelQ1 : ModelQ2);
    if (!check.Allowed()) {
        FSession->Log().AddLog(SaveRefusalText(check.Refusal, binding), TLogColor::Red);
        if (ShowPage)
            ShowPage(PageNone);
        return true;
    }
    run([this, q1] {
        if (ReadPages)
            ReadPages();
        if (q1) {
            FProtocol->ComSet();
            // An empty ID went out as 0 and shows "0" now.
            if (RefreshPages)
                RefreshPages();
        } else {
            FProtocol->Q2ComSet();
        }
    });
    return true;
}
