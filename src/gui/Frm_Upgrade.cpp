#include "gui/Frm_Upgrade.h"

#include "core/LogSink.h"
#include "core/ProFun.h"
#include "core/Settings.h"
#include "gui/Accessibility.h"
#include "gui/AppLook.h"
#include "gui/TextTable.h"
#include "gui/UpgradeFleetView.h"
#include "lang/LangList.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QSize DesignSize(342, 320);
const QSize FleetDesignSize(780, 560); // the fleet view: a list of modules with their states
constexpr int IPLength = 15;  // dotted quad
constexpr int MACLength = 17; // twelve digits with a blank between pairs

// An editable drop-down that asks to be refilled each time its list opens.
class TDropDownCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;
    void showPopup() override
    {
        if (OnDropDown)
            OnDropDown();
        QComboBox::showPopup();
    }
};

QLabel *buddyLabel(QWidget *parent, const char *name, QWidget *buddy)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

Tfrm_Upgrade::Tfrm_Upgrade(const TAppSettings &settings, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_Upgrade"));
    // A title without buttons: Exit is the way out, and it is disabled while an attempt runs.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowIcon(AppIcon());

    ChooseBinFile = [](QWidget *parent, const QString &folder) {
        return QFileDialog::getOpenFileName(parent, QString(), folder, QStringLiteral("*.bin"));
    };
    ShowMessage = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text);
    };

    lblFwUpTip = named(new QLabel(this), "lblFwUpTip");

    auto *grp1 = named(new QGroupBox(this), "grp1");
    edt_IP = named(new QLineEdit(grp1), "edt_IP");
    edt_IP->setMaxLength(IPLength);
    edt_MAC = named(new QLineEdit(grp1), "edt_MAC");
    edt_MAC->setMaxLength(MACLength);
    auto *combo = named(new TDropDownCombo(grp1), "cbbSvrIP");
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->OnDropDown = [this] { cbbSvrIPDropDown(); };
    cbbSvrIP = combo;
    auto *clients = new QGridLayout(grp1);
    clients->addWidget(buddyLabel(grp1, "lbl_IP", edt_IP), 0, 0);
    clients->addWidget(edt_IP, 0, 1);
    clients->addWidget(buddyLabel(grp1, "lbl_MAC", edt_MAC), 1, 0);
    clients->addWidget(edt_MAC, 1, 1);
    clients->addWidget(buddyLabel(grp1, "lblLocalIP", cbbSvrIP), 2, 0);
    clients->addWidget(cbbSvrIP, 2, 1);
    clients->setColumnStretch(1, 1);

    auto *grp2 = named(new QGroupBox(this), "grp2");
    edt_BinFileName = named(new QLineEdit(grp2), "edt_BinFileName");
    btn_Browse = named(new QPushButton(QStringLiteral("..."), grp2), "btn_Browse");
    btn_Browse->setAutoDefault(false);
    btn_Browse->setFixedWidth(btn_Browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    auto *file = new QHBoxLayout(grp2);
    file->addWidget(edt_BinFileName, 1);
    file->addWidget(btn_Browse);

    btn_Program = named(new QPushButton(this), "btn_Program");
    btn_Program->setDefault(true);
    btn_Exit = named(new QPushButton(this), "btn_Exit");
    btn_Exit->setAutoDefault(false);
    btn_UpStop = named(new QPushButton(this), "btn_UpStop");
    btn_UpStop->setAutoDefault(false);
    btn_UpStop->hide();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_Program);
    buttons->addWidget(btn_UpStop);
    buttons->addWidget(btn_Exit);
    FFleetView = new TUpgradeFleetView(this);
    FFleetView->hide();

    lbl_Info = named(new QLabel(this), "lbl_Info");
    // Status texts run to two lines beside the bar in either language.
    lbl_Info->setWordWrap(true);
    lbl_Info->setMinimumHeight(2 * lbl_Info->fontMetrics().lineSpacing());
    lbl_Info->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pb1 = named(new QProgressBar(this), "pb1");
    pb1->setRange(0, 100);
    pb1->setValue(0);
    pb1->setTextVisible(false); // lbl_Info says the percentage
    pb1->setFixedWidth(110);
    auto *status = new QHBoxLayout;
    status->addWidget(lbl_Info, 1);
    status->addWidget(pb1, 0, Qt::AlignVCenter);

    // The reason of a failure, under the status, in red like the log's error lines.
    lbl_UpReason = named(new QLabel(this), "lbl_UpReason");
    lbl_UpReason->setWordWrap(true);
    lbl_UpReason->setTextInteractionFlags(Qt::TextSelectableByMouse); // a command to copy
    QPalette red = lbl_UpReason->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lbl_UpReason->setPalette(red);
    lbl_UpReason->hide();

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(10, 10, 10, 8);
    root->addWidget(lblFwUpTip);
    root->addWidget(grp1);
    root->addWidget(grp2);
    root->addWidget(FFleetView, 100);
    root->addStretch(1);
    root->addLayout(buttons);
    root->addLayout(status);
    root->addWidget(lbl_UpReason);

    connect(btn_Browse, &QPushButton::clicked, this, &Tfrm_Upgrade::btn_BrowseClick);
    connect(btn_Program, &QPushButton::clicked, this, &Tfrm_Upgrade::btn_ProgramClick);
    connect(btn_Exit, &QPushButton::clicked, this, &Tfrm_Upgrade::btn_ExitClick);
    connect(btn_UpStop, &QPushButton::clicked, this, &Tfrm_Upgrade::btn_UpStopClick);

    TUpgradeFleet &fleet = FFleetView->Fleet();
    fleet.OnSearch = [this] {
        if (FleetSearch)
            FleetSearch();
    };
    fleet.OnReset = [this, &fleet](int i) {
        const QString mac = fleet.Modules()[size_t(i)].Target.MAC;
        if (!FleetReset || !FleetReset(mac))
            fleet.ResetAnswered(i, false, QStringLiteral("the module is not in the device list"));
    };
    FFleetView->OnChanged = [this] { showFleetSummary(); };
    FFleetView->OnFinished = [this] { fleetFinished(); };

    FAttempt.OnStatus = [this](const QString &, const QString &text) { lbl_Info->setText(text); };
    FAttempt.OnProgress = [this](int percent) { pb1->setValue(percent); };
    FAttempt.OnButtons = [this](bool program, bool exit) {
        btn_Program->setEnabled(program);
        btn_Exit->setEnabled(exit);
    };
    FAttempt.OnFailure = [this](const TUpgradeFailure &) { showReason(); };
    FAttempt.OnMessageBox = [this](const QString &, const QString &text) {
        if (ShowMessage)
            ShowMessage(this, windowTitle(), text);
    };

    // FormCreate: no local address yet, the edits from the settings, the texts.
    FLocalIP.clear();
    edt_IP->setText(settings.UpgradeIP);
    edt_MAC->setText(settings.UpgradeMAC);
    edt_BinFileName->setText(settings.UpgradeFileName);
    ApplyUpgradeTexts();
}

Tfrm_Upgrade::~Tfrm_Upgrade()
{
    FFleetView->OnChanged = nullptr;
    FFleetView->OnFinished = nullptr;
    FFleetView->Stop();
    // The attempt reports into these widgets; nothing may arrive while they go.
    FAttempt.OnStatus = nullptr;
    FAttempt.OnProgress = nullptr;
    FAttempt.OnButtons = nullptr;
    FAttempt.OnMessageBox = nullptr;
    FAttempt.OnFailure = nullptr;
    FAttempt.Exit();
}

void Tfrm_Upgrade::HandOver(const QString &ip, const QString &mac, const QString &localIP,
                            const QByteArray &searchReply)
{
    FSearchReply = searchReply;
    if (!ip.isEmpty()) {
        edt_IP->setText(ip);
        edt_MAC->setText(mac);
    }
    FLocalIP = localIP;
    // Program takes the local address from cbbSvrIP: show the one the module was found on there, so
    // that it is the one used unless the user picks another.
    if (!localIP.isEmpty())
        cbbSvrIP->setEditText(localIP);
}

void Tfrm_Upgrade::OpenFor(const QString &ip, const QString &mac, const QString &localIP,
                           const QByteArray &searchReply)
{
    if (!isVisible())
        SetFleetMode(false);
    HandOver(ip, mac, localIP, searchReply);
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    exec();
}

void Tfrm_Upgrade::OpenForFleet(const QList<TUpFleetTarget> &modules, const QString &localIP)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    SetFleetMode(true);
    FFleetView->SetTargets(modules);
    FLocalIP = localIP;
    if (!localIP.isEmpty())
        cbbSvrIP->setEditText(localIP);
    exec();
}

void Tfrm_Upgrade::SetFleetMode(bool fleet)
{
    if (fleet == FFleetMode)
        return;
    FFleetMode = fleet;
    // The status of one mode means nothing in the other.
    lbl_Info->clear();
    pb1->setValue(0);
    for (const char *name : {"lbl_IP", "lbl_MAC"})
        if (auto *w = findChild<QWidget *>(QLatin1String(name)))
            w->setVisible(!fleet);
    edt_IP->setVisible(!fleet);
    edt_MAC->setVisible(!fleet);
    FFleetView->setVisible(fleet);
    btn_UpStop->setVisible(fleet);
    btn_UpStop->setEnabled(false);
    // A window not shown yet does not hear that rows of its group went: the size is taken anew.
    if (QLayout *group = edt_IP->parentWidget()->layout())
        group->invalidate();
    edt_IP->parentWidget()->updateGeometry();
    ApplyUpgradeTexts();
}

void Tfrm_Upgrade::ApplyUpgradeTexts()
{
    // In the table's order, with lbl_Info re-translated from its own caption before lblLocalIP.
    const auto local = std::find_if(UpgradeTextRows.begin(), UpgradeTextRows.end(), [](const TTextRow &r) {
        return QLatin1String(r.Control) == QLatin1String("lblLocalIP");
    });
    const auto split = size_t(local - UpgradeTextRows.begin());
    ApplyTextRows(this, UpgradeTextRows.first(split));
    const QString summary = FFleetMode ? FFleetView->SummaryText() : QString();
    lbl_Info->setText(summary.isEmpty() ? GetLangText(lbl_Info->text()) : summary);
    ApplyTextRows(this, UpgradeTextRows.subspan(split));
    FFleetView->RetranslateRows();
    showReason(); // fits the window
    ApplyAccessibleNames(this);
}

void Tfrm_Upgrade::showReason()
{
    const QString text = UpgradeFailureText(FFleetMode ? FFleetView->Fleet().Failure : FAttempt.Failure);
    lbl_UpReason->setText(text);
    lbl_UpReason->setVisible(!text.isEmpty());
    FitFixedSize(this, FFleetMode ? FleetDesignSize : DesignSize);
}

QString Tfrm_Upgrade::ReasonShown() const { return lbl_UpReason->isVisibleTo(this) ? lbl_UpReason->text() : QString(); }

void Tfrm_Upgrade::StoreSettings(TAppSettings &s) const
{
    s.UpgradeIP = edt_IP->text();
    s.UpgradeMAC = edt_MAC->text();
    s.UpgradeFileName = edt_BinFileName->text();
}

void Tfrm_Upgrade::SetLog(ILogSink *log) { FAttempt.Log = log; }

bool Tfrm_Upgrade::AttemptRunning() const
{
    const TUpgradeState s = FAttempt.State();
    return s == TUpgradeState::Searching || s == TUpgradeState::Serving;
}

bool Tfrm_Upgrade::FleetRunning() const { return FFleetView->Running(); }

void Tfrm_Upgrade::btn_BrowseClick()
{
    if (!ChooseBinFile)
        return;
    const QString current = edt_BinFileName->text();
    const QString folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString chosen = ChooseBinFile(this, folder);
    if (!chosen.isEmpty())
        edt_BinFileName->setText(QFileInfo(chosen).absoluteFilePath());
}

void Tfrm_Upgrade::btn_ProgramClick()
{
    if (AttemptRunning() || FleetRunning())
        return;
    if (FFleetMode) {
        FLocalIP = cbbSvrIP->currentText();
        FFleetView->Fleet().Failure = TUpgradeFailure();
        showReason();
        const QString file = edt_BinFileName->text();
        const QString refused = FLocalIP.isEmpty() ? QStringLiteral("lang_Hint_UpNoClient")
                                : file.isEmpty()   ? QStringLiteral("lang_Hint_UpNoFileName")
                                                   : QString();
        if (!refused.isEmpty()) {
            lbl_Info->setText(GetLangText(refused));
            return;
        }
        FFleetView->Fleet().Log = FAttempt.Log;
        QString reason;
        // Without the main window's search (a window on its own) no module is looked for after.
        if (!FFleetView->Start(FLocalIP, file, bool(FleetSearch), reason)) {
            if (FAttempt.Log)
                FAttempt.Log->AddLog(reason, TLogColor::Red);
            lbl_Info->setText(GetLangText(QStringLiteral("lang_Hint_Upfailed")));
            showReason();
            return;
        }
        btn_Program->setEnabled(false);
        btn_Exit->setEnabled(false);
        btn_UpStop->setEnabled(true);
        showFleetSummary();
        return;
    }
    FLocalIP = cbbSvrIP->currentText();
    // The reason of an earlier failure goes; a new one comes with this attempt's failure.
    FAttempt.Failure = TUpgradeFailure();
    showReason();
    FAttempt.Program({edt_IP->text(), edt_MAC->text(), FLocalIP, edt_BinFileName->text()});
}

void Tfrm_Upgrade::btn_ExitClick() { reject(); }

void Tfrm_Upgrade::btn_UpStopClick() { FFleetView->Stop(); }

void Tfrm_Upgrade::showFleetSummary()
{
    lbl_Info->setText(FFleetView->SummaryText());
    pb1->setValue(FFleetView->SummaryPercent());
}

void Tfrm_Upgrade::fleetFinished()
{
    btn_Program->setEnabled(true);
    btn_Exit->setEnabled(true);
    btn_UpStop->setEnabled(false);
    showFleetSummary();
}

void Tfrm_Upgrade::FleetModuleSeen(const QString &mac, const QString &version)
{
    FFleetView->Fleet().ModuleSeen(mac, version);
}

void Tfrm_Upgrade::FleetModuleAnswered(bool acknowledged, const QString &answer)
{
    TUpgradeFleet &fleet = FFleetView->Fleet();
    if (fleet.PendingReset() >= 0)
        fleet.ResetAnswered(fleet.PendingReset(), acknowledged, answer.trimmed());
}

void Tfrm_Upgrade::reject()
{
    if (AttemptRunning() || FleetRunning())
        return;
    FAttempt.Exit();
    QDialog::reject();
}

void Tfrm_Upgrade::cbbSvrIPDropDown()
{
    const QString typed = cbbSvrIP->currentText();
    QStringList addresses;
    LocalIPv4List(addresses);
    cbbSvrIP->clear();
    cbbSvrIP->addItems(addresses);
    cbbSvrIP->setEditText(typed);
}
