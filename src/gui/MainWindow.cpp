#include "gui/MainWindow.h"

#include "core/AppPaths.h"
#include "core/Version.h"
#include "gui/Accessibility.h"
#include "gui/FleetActions.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/FleetRows.h"
#include "gui/GuiUtil.h"
#include "gui/LogPanes.h"
#include "gui/ParamArea.h"
#include "gui/Q1PageView.h"
#include "gui/Q2PageView.h"
#include "gui/QtTexts.h"
#include "gui/SearchColumn.h"
#include "gui/SerialTab.h"
#include "gui/TextTable.h"
#include "lang/LangList.h"
#include "netconfig/AddressRange.h"
#include "netconfig/KeepSearch.h"
#include "netconfig/LanSession.h"
#include "netconfig/Q2Write.h"
#include "netconfig/UdpSvr.h"
#include "serial/Comm.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QThread>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

Q_LOGGING_CATEGORY(lcMain, "bexo.main", QtWarningMsg)

namespace {
// The window's outer margin: the left offset of the search column.
constexpr int Margin = 8;
// Starting height of the window.
constexpr int DesignHeight = 610;
// How long a hint stays up.
constexpr int HintHidePauseMs = 600000;
} // namespace

TFrm_Main::TFrm_Main(QWidget *parent) : QMainWindow(parent), cm1(std::make_unique<TComm>())
{
    setObjectName(QStringLiteral("Frm_Main"));
    // System menu and minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ApplyCm1Properties(*cm1);

    ShowMessage = [this](const QString &text) {
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(), text);
    };
    OpenUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    Pause = [](int ms) { QThread::msleep(ulong(ms)); };
    Confirm = [this](const QString &text) {
        return QMessageBox::question(this, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };

    // Before the regions: the device list model observes the session from its creation.
    Session = new TLanSession(*this, this);
    UdpSvr = &Session->Svr();
    Session->Page = &Q2Model;

    buildLayout();
    buildMenus();
    qApp->installEventFilter(this);
    FormCreate();
}

TFrm_Main::~TFrm_Main()
{
    qApp->removeEventFilter(this);
    // A run still going needs the session, which goes before the run would.
    if (FleetRows)
        FleetRows->Drop();
    if (Fleet)
        Fleet->Drop();
    if (cm1)
        cm1->ClosePort();
}

void TFrm_Main::buildLayout()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnl_Main"));
    rzpgcntrl_Srch = new TSearchColumn(central);
    rzpgcntrl_Logs = new TLogPanes(central);
    rzpgcntrl_Param = new TParamArea(central);
    lv_Dev = rzpgcntrl_Srch->lv_Dev;
    DevModel = new TDeviceListModel(Session, this);
    lv_Dev->SetDeviceModel(DevModel);
    FleetRows = new TFleetRows(*Session, *DevModel, *this, this);
    KeepSearch = new TKeepSearch(this);
    KeepSearch->SendSearch = [this] {
        // A search by address still sending goes on; a list refused ends the repeat.
        if (!Session || Session->SearchingAddresses())
            return;
        if (!SearchOnce(false))
            rzpgcntrl_Srch->chk_KeepSearch->setChecked(false);
    };
    KeepSearch->Answered = [this] { return DevModel->rowCount(); };
    connect(KeepSearch, &TKeepSearch::Finished, this, [this](bool reached) {
        rzpgcntrl_Srch->chk_KeepSearch->setChecked(false);
        rzpgcntrl_Srch->edt_KeepSearchCount->setEnabled(true);
        if (reached)
            AddLogInfo(GetLangText(QStringLiteral("lang_Hint_KeepSearchDone")).arg(DevModel->rowCount()));
    });
    connect(Session, &TLanSession::RowAdded, KeepSearch, [this] { KeepSearch->Check(); });
    connect(rzpgcntrl_Srch->chk_KeepSearch, &QCheckBox::toggled, this, [this](bool on) { KeepSearchToggled(on); });
    // The page takes the replies of the selected row's module.
    connect(lv_Dev->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const TDeviceRow *row = SelectedDevice();
        if (Session)
            Session->SetPageModule(row ? row->Mac : QString());
    });
    Q1View = new TQ1PageView(Q1Model, rzpgcntrl_Param->rztbsht_Q1);
    rzpgcntrl_Param->Q1Layout()->addWidget(Q1View);
    Q2View = new TQ2PageView(Q2Model, rzpgcntrl_Param->rztbsht_Q3);
    rzpgcntrl_Param->Q2Layout()->addWidget(Q2View);
    // The data debugging window is not part of this program; its button only keeps its name.
    auto *btnDataDebug = new QPushButton(central);
    btnDataDebug->setObjectName(QStringLiteral("btnDataDebug"));
    btnDataDebug->hide();

    auto *left = new QVBoxLayout;
    left->setSpacing(Margin);
    left->addWidget(rzpgcntrl_Srch, 4);
    left->addWidget(rzpgcntrl_Logs, 3);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(Margin, Margin, Margin, Margin);
    row->setSpacing(Margin);
    row->addLayout(left);
    row->addWidget(rzpgcntrl_Param);
    row->addStretch(1);
    setCentralWidget(central);
    rzpgcntrl_Logs->setFixedWidth(rzpgcntrl_Srch->width());

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("stat1"));
    bar->setSizeGripEnabled(false);
    // Two panels of 400 and 50; nothing in this window writes them.
    for (int w : {400, 50}) {
        auto *panel = new QLabel(bar);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setMinimumWidth(1);
        panel->setMaximumWidth(w);
        panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        bar->addWidget(panel, w);
    }
    setStatusBar(bar);

    connect(rzpgcntrl_Srch, &QTabWidget::currentChanged, this, [this] { rzpgcntrl_SrchTabClick(); });
    for (QPushButton *b : {rzpgcntrl_Srch->btn_Search, rzpgcntrl_Srch->btn_ComRead})
        connect(b, &QPushButton::clicked, this, [this, b] { btn_Click(b); });
    // The pages say which of their buttons was clicked; the one handler tells them apart by name.
    connect(Q1View, &TQ1PageView::Q1SetClicked, this, [this] { btn_Click(Q1View->Q1SetButton()); });
    connect(Q1View, &TQ1PageView::ComSetClicked, this, [this] { btn_Click(Q1View->ComSetButton()); });
    connect(Q2View, &TQ2PageView::SaveNetClicked, this, [this] { btn_Click(Q2View->NetSetButton()); });
    connect(Q2View, &TQ2PageView::SaveComClicked, this, [this] { btn_Click(Q2View->ComSetButton()); });
    connect(lv_Dev, &TDeviceListView::Clicked, this, &TFrm_Main::lv_DevClick);
    connect(lv_Dev, &TDeviceListView::PopupRequested, this, [this](const QPoint &pos) {
        if (lv_Dev->SelectedRows().size() > 1) {
            PopupForSeveral(pos);
            return;
        }
        pm_NetDevPopup();
        lv_Dev->Popup()->popup(pos);
    });

    // Settings are written when they change, a moment after the last change of a burst.
    FStoreTimer.setSingleShot(true);
    FStoreTimer.setInterval(StoreSettingsDelayMs);
    connect(&FStoreTimer, &QTimer::timeout, this, [this] { StoreSettings(); });
    connect(rzpgcntrl_Srch->cbb_SelectCom, &QComboBox::currentTextChanged, this, [this] { StoreSettingsSoon(); });
    for (QRadioButton *b : {rzpgcntrl_Srch->rbQ1, rzpgcntrl_Srch->rbQ2, rzpgcntrl_Srch->rbQ3})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                StoreSettingsSoon();
        });

    SerialTab = std::make_unique<TSerialTab>(*cm1, *this, Q2Model, Q1Model, rzpgcntrl_Srch);
    SerialTab->ShowPage = [this](int mode) { ShowPage(mode); };
    SerialTab->RefreshPages = [this] { RefreshPages(); };
    SerialTab->ReadPages = [this] { ReadPages(); };
    SerialTab->ClearPanes = [this] { rzpgcntrl_Logs->Clear(); };
    SerialTab->ShowMessage = [this](const QString &text) {
        if (ShowMessage)
            ShowMessage(text);
    };
    SerialTab->Q2Binding = &Session->PageBinding;
    SerialTab->Q1Binding = &Q1Binding;
}

void TFrm_Main::buildMenus()
{
    QMenuBar *mm1 = menuBar();
    mm1->setObjectName(QStringLiteral("mm1"));
    auto menu = [mm1](const char *name) {
        QMenu *m = mm1->addMenu(QLatin1String(name));
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [this](QMenu *m, const char *name) {
        QAction *a = m->addAction(QLatin1String(name));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, a] { mni_MenuClick(a); });
        return a;
    };
    mni_File = menu("mni_File");
    mni_Pswd = item(mni_File, "mni_Pswd");
    mniExporDevs = item(mni_File, "mniExporDevs");
    mni_File->addSeparator();
    mni_Exit = item(mni_File, "mni_Exit");

    mni_Lang = menu("mni_Lang");
    mni_Cn = item(mni_Lang, "mni_Cn");
    mni_En = item(mni_Lang, "mni_En");
    auto *group = new QActionGroup(this);
    for (QAction *a : {mni_Cn, mni_En}) {
        a->setCheckable(true);
        group->addAction(a);
    }

    mni_Help = menu("mni_Help");
    mni_About = item(mni_Help, "mni_About");
    mni_Hint = item(mni_Help, "mni_Hint");
    mni_Hint->setCheckable(true);
    mni_Hint->setVisible(false);
    mni_Up = item(mni_Help, "mni_Up");
    mni_WorkOrder = item(mni_Help, "mni_WorkOrder");

    const QList<QAction *> popup = lv_Dev->PopupItems();
    mni_OpenWeb = popup[0];
    mni_Restart = popup[1];
    mni_FirmwareUp = popup[2];
    mni_Reset = popup[3];
    mni_CopyTheMac = popup[4];
    mni_CopeAllMac = popup[5];
    for (QAction *a : popup)
        connect(a, &QAction::triggered, this, [this, a] { mni_LvRightMmClick(a); });
    Fleet = new TFleetActions(*this);
}

// ---- Creation and close ----

void TFrm_Main::FormCreate()
{
    InitLanguage();
    Settings = ReadSettings(CfgIniPlace(), TLangList::IsChineseSystem());
    applySettings();
    ApplyMainTexts();
    if (LangList && !LangList->WriteError.isEmpty())
        AddLog(LangList->WriteError, TLogColor::Red);
    ShowPage(PageLayout);
    ShowPage(PageNone);
    resize(width(), DesignHeight);
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    connectSession();
    Fleet->ConnectSession();
    // The state the start left, credentials and the layout's own choices included: only what
    // changes during the run is written before the close.
    FWritten = CurrentSettings();
    FStoreTimer.stop();
}

void TFrm_Main::applySettings()
{
    if (LangList)
        LangList->IsChinese = Settings.IsChinese;
    // A custom build hides what points at the maker.
    for (QAction *a : {mni_About, mni_Up, mni_WorkOrder})
        a->setVisible(!Settings.CustomBuild);
    mni_Hint->setVisible(false);
    (Settings.IsChinese ? mni_Cn : mni_En)->setChecked(true);
    SetHintsShown(Settings.RealTimeHelp);
    Fleet->SetVerifyWrites(Settings.VerifyWrites);
    rzpgcntrl_Srch->cbb_SelectCom->clear();
    rzpgcntrl_Srch->cbb_SelectCom->addItem(Settings.LocalCom);
    rzpgcntrl_Srch->cbb_SelectCom->setCurrentIndex(0);
    rzpgcntrl_Srch->SetQNum(Settings.QNum);
}

void TFrm_Main::connectSession()
{
    UdpSvr->UnknownSummaryMs = UnknownSummaryPeriodMs;
    connect(Session, &TLanSession::ShowPage, this, [this](int mode) { ShowPage(mode); });
    connect(Session, &TLanSession::PageFilled, this, [this] { RefreshPages(); });
    connect(Session, &TLanSession::StatusReported, this, [this](const TLanStatus &s) { UdpStatus(s); });
    // What the other windows follow: every module that answers a search, every module answer.
    connect(Session, &TLanSession::ModuleAnswered, this, [this](const QString &mac, const QString &version) {
        if (Hooks.SearchReplySeen)
            Hooks.SearchReplySeen(mac, version);
    });
}

void TFrm_Main::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TFrm_Main::FormClose()
{
    if (FClosed)
        return;
    FClosed = true;
    // Every step on its own: a failing step must not keep the settings from being written. The
    // window is going, so what fails now goes to the program's warnings.
    const auto failed = [](const char *step, const QString &why) {
        qCWarning(lcMain, "closing: %s failed: %s", step, qUtf8Printable(why));
    };
    try {
        cm1->ClosePort();
    } catch (const std::exception &e) {
        failed("closing the serial port", QString::fromLocal8Bit(e.what()));
    } catch (...) {
        failed("closing the serial port", QStringLiteral("unknown error"));
    }
    try {
        KeepSearch->Stop();
        FleetRows->Drop();
        Fleet->Drop();
        UdpSvr = nullptr;
        delete Session;
        Session = nullptr;
    } catch (...) {
        failed("closing the network endpoint", QStringLiteral("unknown error"));
    }
    FStoreTimer.stop();
    try {
        if (IniFile)
            WriteSettings(*IniFile, CurrentSettings());
    } catch (const EIniFileError &e) {
        failed("writing the settings", e.Text());
    } catch (...) {
        failed("writing the settings", QStringLiteral("unknown error"));
    }
    try {
        FreeSettings();
    } catch (...) {
        failed("freeing the settings", QStringLiteral("unknown error"));
    }
    try {
        FreeLanguage();
    } catch (...) {
        failed("freeing the language table", QStringLiteral("unknown error"));
    }
}

TAppSettings TFrm_Main::CurrentSettings() const
{
    TAppSettings s = Settings;
    if (LangList)
        s.IsChinese = LangList->IsChinese;
    s.RealTimeHelp = mni_Hint->isChecked();
    s.LocalCom = rzpgcntrl_Srch->cbb_SelectCom->currentText();
    s.QNum = rzpgcntrl_Srch->QNum();
    s.UserName = LoginName;
    s.Password = LoginPswd;
    s.FilePath = CmdFilePath;
    s.VerifyWrites = Fleet->VerifyWrites();
    if (Hooks.StoreDialogSettings)
        Hooks.StoreDialogSettings(s);
    return s;
}

bool TFrm_Main::StoreSettings()
{
    FStoreTimer.stop();
    if (!IniFile || FClosed)
        return true;
    try {
        WriteChangedSettings(*IniFile, CurrentSettings(), FWritten);
        return true;
    } catch (const EIniFileError &e) {
        AddLog(e.Text(), TLogColor::Red);
        return false;
    }
}

void TFrm_Main::StoreSettingsSoon()
{
    if (!FClosed)
        FStoreTimer.start();
}

// ---- Texts and hints ----

void TFrm_Main::ApplyMainTexts()
{
    // Qt's own texts (message-box buttons, file dialog, edit menus) follow the language too.
    ApplyQtTexts(LangList && LangList->IsChinese);
    // Rows of controls that are not built yet are simply left out.
    ApplyTextRows(this, MainTextRows);
    // The lists that steer other controls run their rules again, and the label columns line up
    // for the new captions.
    Q1View->AfterTextsApplied();
    Q2View->AfterTextsApplied();
    // The display name first: the system appends " — " and it to every window's title as the
    // title is set.
    QGuiApplication::setApplicationDisplayName(GetLangText(QStringLiteral("lang_Main_AppTitle")));
    setWindowTitle(GetLangText(QStringLiteral("lang_Main_Title")) + QStringLiteral(" V") + GetAppVersion());
    mni_WorkOrder->setVisible(false);
    lv_Dev->FitColumns();
    DevModel->Retranslate();
    // Texts of another language may need more room than the design widths.
    rzpgcntrl_Srch->FitWidth();
    rzpgcntrl_Logs->setFixedWidth(rzpgcntrl_Srch->width());
    rzpgcntrl_Param->FitWidth();
    fitWidth();
    ApplyAccessibleNames(this);
}

void TFrm_Main::SwitchLanguage(bool chinese)
{
    (chinese ? mni_Cn : mni_En)->setChecked(true);
    if (LangList)
        LangList->IsChinese = chinese;
    ApplyMainTexts();
    if (Hooks.ApplyDialogTexts)
        Hooks.ApplyDialogTexts();
    // A window whose title did not change keeps the display name it was shown with; every shown
    // window takes the new one.
    for (QWindow *window : QGuiApplication::topLevelWindows())
        if (window->handle())
            window->setTitle(window->title());
    try {
        if (IniFile) {
            WriteLanguage(*IniFile, chinese);
            FWritten.IsChinese = chinese;
        }
    } catch (const EIniFileError &e) {
        AddLog(e.Text(), TLogColor::Red);
    }
}

void TFrm_Main::SetHintsShown(bool on)
{
    FHintsShown = on;
    mni_Hint->setChecked(on);
    if (!on)
        QToolTip::hideText();
}

bool TFrm_Main::eventFilter(QObject *watched, QEvent *event)
{
    // Hints are shown only while they are on, application-wide, and then stay up as long as the
    // mouse rests; the hint texts themselves stay set either way.
    if (event->type() == QEvent::ToolTip) {
        if (!FHintsShown)
            return true;
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && !w->toolTip().isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), w->toolTip(), w, QRect(),
                               HintHidePauseMs);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Log panes ----

void TFrm_Main::AddLog(const QString &text, TLogColor color) { rzpgcntrl_Logs->AddLog(text, color); }

void TFrm_Main::AddHex(const QString &text, TLogColor color) { rzpgcntrl_Logs->AddHex(text, color); }

// ---- Page modes ----

void TFrm_Main::SetPopupItemsEnabled(bool value)
{
    for (QAction *a : lv_Dev->PopupItems())
        a->setEnabled(value);
    mni_CopyTheMac->setEnabled(true);
    mni_CopeAllMac->setEnabled(true);
}

int TFrm_Main::leftOffset()
{
    // Before the window is first shown nothing has been placed yet: place it now.
    if (QLayout *l = layout())
        l->activate();
    if (QLayout *l = centralWidget()->layout())
        l->activate();
    return rzpgcntrl_Srch->x();
}

void TFrm_Main::fitWidth()
{
    int w = 0;
    switch (FPage) {
    case PageNone: w = rzpgcntrl_Srch->width() + 2 * leftOffset() + 6; break;
    case PageQ1: w = 2 * rzpgcntrl_Param->width() - 8; break;
    case PageQ2: w = 2 * rzpgcntrl_Param->width() - 78; break;
    default: return;
    }
    // Never narrower than the columns need (a language with longer texts widens them).
    int need = 2 * Margin + rzpgcntrl_Srch->width();
    if (FPage != PageNone)
        need += Margin + rzpgcntrl_Param->width();
    setFixedWidth(qMax(w, need));
    keepOnScreen();
}

void TFrm_Main::keepOnScreen()
{
    // The window widens to the right when a page shows; on a narrow screen that would push the page
    // off the edge, so it moves left as far as needed (never past the screen's left edge).
    QScreen *s = screen();
    if (!s || !isVisible())
        return;
    const QRect avail = s->availableGeometry();
    const QRect frame = frameGeometry();
    if (frame.right() <= avail.right())
        return;
    const int x = qMax(avail.left(), avail.right() + 1 - frame.width());
    move(pos() + QPoint(x - frame.left(), 0));
}

void TFrm_Main::ShowPage(int mode)
{
    switch (mode) {
    case PageLayout: {
        {
            const QSignalBlocker block(rzpgcntrl_Srch);
            rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabNet);
        }
        rzpgcntrl_Logs->setCurrentIndex(0);
        rzpgcntrl_SrchTabClick();
        rzpgcntrl_Srch->rbQ2->setChecked(true);
        return;
    }
    case PageNone:
        rzpgcntrl_Srch->Tabs()->SetTabWidth(rzpgcntrl_Srch->width() / rzpgcntrl_Srch->count() - 4);
        rzpgcntrl_Logs->Tabs()->SetTabWidth(rzpgcntrl_Logs->width() / rzpgcntrl_Logs->count() - 3);
        rzpgcntrl_Param->hide();
        FPage = PageNone;
        fitWidth();
        SetPopupItemsEnabled(false);
        mni_FirmwareUp->setEnabled(true);
        Fleet->UpdateEnabled();
        return;
    case PageQ1:
    case PageQ2:
        rzpgcntrl_Param->show();
        FPage = mode;
        fitWidth();
        rzpgcntrl_Param->setCurrentIndex(mode == PageQ1 ? TParamArea::IndexQ1 : TParamArea::IndexQ2);
        SetPopupItemsEnabled(true);
        if (mode == PageQ1) {
            for (QAction *a : {mni_OpenWeb, mni_Restart, mni_FirmwareUp})
                a->setEnabled(false);
        } else {
            mni_Reset->setEnabled(true);
            mni_FirmwareUp->setEnabled(true);
            Q2View->RestackFromTop();
        }
        Fleet->UpdateEnabled();
        return;
    default: return;
    }
}

void TFrm_Main::RefreshPages()
{
    Q1View->ShowModel();
    Q2View->ShowModel();
}

void TFrm_Main::ReadPages()
{
    Q1View->ReadModel();
    Q2View->ReadModel();
}

// ---- Search column ----

void TFrm_Main::rzpgcntrl_SrchTabClick()
{
    const bool lan = rzpgcntrl_Srch->currentIndex() == TSearchColumn::TabNet;
    if (!lan)
        SerialTab->TabChosen();
    AddLog(GetLangText(lan ? QStringLiteral("lang_rztbsht_Net") : QStringLiteral("lang_rztbsht_Com")) +
               QStringLiteral(",") +
               GetLangText(lan ? QStringLiteral("lang_ts_CfgFree") : QStringLiteral("lang_ts_CfgGnd")),
           TLogColor::Maroon);
    ShowPage(PageNone);
    // The pages are hidden until a read over the new tab's line fills one again.
    Session->PageBinding = {};
    Q1Binding = {};
    // Each page shows the write buttons of the tab; the network-only controls of the Q2 page exist
    // only on the LAN tab.
    Q1View->SetComTab(!lan);
    Q2View->SetComTab(!lan);
}

void TFrm_Main::btn_Click(QObject *button)
{
    const QString name = button ? button->objectName() : QString();
    if (name == QLatin1String("btn_Search")) {
        rzpgcntrl_Logs->Clear();
        SearchOnce(true);
        return;
    }
    if (name == QLatin1String("btn_Q2NetSet")) {
        SaveQ2Network();
        return;
    }
    // The serial exchanges: btn_ComRead, btn_ComSet and btn_Q2ComSet.
    SerialTab->Click(button);
}

bool TFrm_Main::SearchOnce(bool clearList)
{
    if (!Session)
        return false;
    const QString text = rzpgcntrl_Srch->edt_SearchRange->text().trimmed();
    if (text.isEmpty()) {
        Session->Search(clearList);
        return true;
    }
    QList<quint32> addresses;
    TRangeError error;
    if (!ParseAddressRanges({text}, addresses, error)) {
        AddLog(RangeErrorText(error), TLogColor::Red);
        return false;
    }
    Session->SearchAddresses(addresses, clearList);
    return true;
}

void TFrm_Main::KeepSearchToggled(bool on)
{
    if (!on) {
        KeepSearch->Stop();
        rzpgcntrl_Srch->edt_KeepSearchCount->setEnabled(true);
        return;
    }
    if (KeepSearch->Active())
        return;
    // The count holds for the whole repeat.
    rzpgcntrl_Srch->edt_KeepSearchCount->setEnabled(false);
    KeepSearch->Start(rzpgcntrl_Srch->edt_KeepSearchCount->value());
}

void TFrm_Main::SaveQ2Network()
{
    if (!Session)
        return;
    ReadPages();
    // A page that still shows another module (the selected one's read failed or never came), or
    // was read over the serial line, is not written to the selected module: nothing goes out.
    const TDeviceRow *row = SelectedDevice();
    if (row && ModelInfo(row->Model).LanWrite) {
        const TSaveCheck check = Session->CheckSave(*row);
        if (!check.Allowed()) {
            AddLog(SaveRefusalText(check.Refusal, Session->PageBinding), TLogColor::Red);
            ShowPage(PageNone);
            return;
        }
    }
    // The core plans every frame on the module's own templates before the first one goes and logs
    // what it refuses; the pauses block, so the answers queue up and are logged after the sequence.
    const TQ2WritePlan plan = Session->Write(Q2Model, row, Pause);
    switch (plan.Status) {
    case TQ2WriteStatus::NoRow: ShowPage(PageNone); break;
    case TQ2WriteStatus::Invalid:
        if (ShowMessage)
            ShowMessage(plan.Message);
        break;
    default: break;
    }
}
