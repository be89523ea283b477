#include "gui/UpgradeFleetView.h"

#include "core/ProFun.h"
#include "lang/LangList.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString KeyDone = QStringLiteral("lang_Hint_UpFleetDone");
const QString KeyAllOk = QStringLiteral("lang_Hint_UpFleetAllOk");
const QString KeyNotAllOk = QStringLiteral("lang_Hint_UpFleetNotAllOk");

// The progress column as a bar with its percentage in it.
class TProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() != TUpgradeFleetModel::ColProgress) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.text.clear();
        const QWidget *w = option.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, w); // the selection behind it
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = index.data(TUpgradeFleetModel::PercentRole).toInt();
        bar.text = index.data(Qt::DisplayRole).toString();
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.palette = option.palette;
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, w);
    }
};

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QString spacedMac(const QString &mac)
{
    const QString digits = RemoveSpaces(mac).toUpper();
    QStringList pairs;
    for (int i = 0; i + 1 < digits.size(); i += 2)
        pairs << digits.mid(i, 2);
    return pairs.join(u' ');
}

} // namespace

// ---------------------------------------------------------------------------------------------

TUpgradeFleetModel::TUpgradeFleetModel(QObject *parent) : QAbstractTableModel(parent)
{
    FHeaders = {QStringLiteral("MAC"), QStringLiteral("IP"), QStringLiteral("Version"), QStringLiteral("Progress"),
                QStringLiteral("Status")};
}

void TUpgradeFleetModel::SetModules(const std::vector<TUpFleetModule> *modules)
{
    beginResetModel();
    FModules = modules;
    endResetModel();
}

void TUpgradeFleetModel::RowChanged(int row)
{
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TUpgradeFleetModel::AllChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int TUpgradeFleetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !FModules ? 0 : int(FModules->size());
}

int TUpgradeFleetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TUpgradeFleetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !FModules || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const TUpFleetModule &m = (*FModules)[size_t(index.row())];
    if (role == PercentRole)
        return m.Percent;
    if (role == Qt::ToolTipRole) // the whole status, and why it ended so
        return m.Reason.isEmpty() ? m.StatusText().trimmed() : m.StatusText().trimmed() + QLatin1Char('\n') + m.Reason;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColMac: return spacedMac(m.Target.MAC);
    case ColIP: return m.Target.IP;
    case ColVersion:
        return m.VersionAfter.isEmpty() || m.VersionAfter == m.Target.Version
                   ? m.Target.Version
                   : QStringLiteral("%1 \u2192 %2").arg(m.Target.Version, m.VersionAfter);
    case ColProgress: return QStringLiteral("%1%").arg(m.Percent);
    case ColStatus: return m.StatusText().trimmed();
    default: return {};
    }
}

QVariant TUpgradeFleetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return FHeaders[section];
}

bool TUpgradeFleetModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return false;
    FHeaders[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

// ---------------------------------------------------------------------------------------------

TUpgradeFleetView::TUpgradeFleetView(QWidget *parent) : QWidget(parent), FModel(new TUpgradeFleetModel(this))
{
    setObjectName(QStringLiteral("pnl_UpFleet"));
    grp_UpOptions = named(new QGroupBox(this), "grp_UpOptions");
    edt_UpParallel = named(new QSpinBox(grp_UpOptions), "edt_UpParallel");
    edt_UpParallel->setRange(1, 64);
    edt_UpParallel->setValue(TUpFleetOptions{}.Parallel);
    edt_UpBlockTimeOut = named(new QSpinBox(grp_UpOptions), "edt_UpBlockTimeOut");
    edt_UpBlockTimeOut->setRange(100, 60000);
    edt_UpBlockTimeOut->setSingleStep(100);
    edt_UpBlockTimeOut->setValue(TUpgradeTimes{}.BlockMs);
    chk_UpCanary = named(new QCheckBox(grp_UpOptions), "chk_UpCanary");
    chk_UpResetAfter = named(new QCheckBox(grp_UpOptions), "chk_UpResetAfter");
    auto *parallelLabel = named(new QLabel(grp_UpOptions), "lbl_UpParallel");
    parallelLabel->setBuddy(edt_UpParallel);
    auto *timeOutLabel = named(new QLabel(grp_UpOptions), "lbl_UpBlockTimeOut");
    timeOutLabel->setBuddy(edt_UpBlockTimeOut);
    auto *options = new QGridLayout(grp_UpOptions);
    options->addWidget(parallelLabel, 0, 0);
    options->addWidget(edt_UpParallel, 0, 1);
    options->addWidget(timeOutLabel, 0, 3);
    options->addWidget(edt_UpBlockTimeOut, 0, 4);
    options->addWidget(chk_UpCanary, 1, 0, 1, 5);
    options->addWidget(chk_UpResetAfter, 2, 0, 1, 5);
    options->setColumnStretch(2, 1);
    options->setColumnStretch(5, 1);

    grp_UpModules = named(new QGroupBox(this), "grp_UpModules");
    lv_UpModules = named(new QTreeView(grp_UpModules), "lv_UpModules");
    lv_UpModules->setRootIsDecorated(false);
    lv_UpModules->setItemsExpandable(false);
    lv_UpModules->setUniformRowHeights(true);
    lv_UpModules->setAllColumnsShowFocus(true);
    lv_UpModules->setSelectionMode(QAbstractItemView::NoSelection);
    lv_UpModules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv_UpModules->setModel(FModel);
    lv_UpModules->setItemDelegate(new TProgressDelegate(lv_UpModules));
    lv_UpModules->header()->setStretchLastSection(true);
    lv_UpModules->header()->setSectionsMovable(false);
    const QFontMetrics fm(font());
    const int pad = 16;
    lv_UpModules->setColumnWidth(TUpgradeFleetModel::ColMac, fm.horizontalAdvance(QStringLiteral("DD DD DD DD DD DD")) + pad);
    lv_UpModules->setColumnWidth(TUpgradeFleetModel::ColIP, fm.horizontalAdvance(QStringLiteral("255.255.255.255")) + pad);
    lv_UpModules->setColumnWidth(TUpgradeFleetModel::ColVersion, fm.horizontalAdvance(QStringLiteral("4017 \u2192 4100")) + pad);
    lv_UpModules->setColumnWidth(TUpgradeFleetModel::ColProgress, fm.horizontalAdvance(QStringLiteral("100%")) * 3);
    auto *modules = new QVBoxLayout(grp_UpModules);
    modules->addWidget(lv_UpModules);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addWidget(grp_UpOptions);
    root->addWidget(grp_UpModules, 1);

    FFleet.OnModuleChanged = [this](int i) {
        FModel->RowChanged(i);
        if (OnChanged)
            OnChanged();
    };
    FFleet.OnFinished = [this] {
        setOptionsEnabled(true);
        FModel->AllChanged();
        if (OnFinished)
            OnFinished();
    };
}

void TUpgradeFleetView::SetTargets(const QList<TUpFleetTarget> &targets)
{
    FRan = false;
    FTargets = targets;
    FPlanned.clear();
    for (const TUpFleetTarget &t : targets) {
        TUpFleetModule m;
        m.Target = t;
        FPlanned.push_back(m);
    }
    FModel->SetModules(&FPlanned);
}

void TUpgradeFleetView::setOptionsEnabled(bool enabled) { grp_UpOptions->setEnabled(enabled); }

bool TUpgradeFleetView::Start(const QString &localIP, const QString &binFile, bool lookBack, QString &reason)
{
    FFleet.Times.BlockMs = edt_UpBlockTimeOut->value();
    FFleet.Options.Parallel = edt_UpParallel->value();
    FFleet.Options.Canary = chk_UpCanary->isChecked();
    FFleet.Options.ResetAfter = chk_UpResetAfter->isChecked();
    FFleet.Options.LookBack = lookBack;
    if (!FFleet.Start(FTargets, localIP, binFile, reason))
        return false;
    FRan = true;
    FModel->SetModules(&FFleet.Modules());
    setOptionsEnabled(false);
    if (OnChanged)
        OnChanged();
    return true;
}

void TUpgradeFleetView::Stop() { FFleet.Stop(); }

QString TUpgradeFleetView::SummaryText() const
{
    const std::vector<TUpFleetModule> &m = FFleet.Modules();
    if (!FRan || m.empty())
        return {};
    if (FFleet.Running()) {
        const auto ended = std::count_if(m.begin(), m.end(), [](const TUpFleetModule &x) {
            return x.Phase == TUpFleetPhase::Ended;
        });
        return GetLangText(KeyDone) + QStringLiteral("%1/%2").arg(ended).arg(m.size());
    }
    const bool allOk = std::all_of(m.begin(), m.end(), [](const TUpFleetModule &x) {
        return x.Result == TUpFleetResult::Ok;
    });
    return GetLangText(allOk ? KeyAllOk : KeyNotAllOk);
}

int TUpgradeFleetView::SummaryPercent() const
{
    const std::vector<TUpFleetModule> &m = FFleet.Modules();
    if (m.empty())
        return 0;
    int sum = 0;
    for (const TUpFleetModule &x : m)
        sum += x.Phase == TUpFleetPhase::Ended || x.Phase == TUpFleetPhase::LookingBack ||
                       x.Phase == TUpFleetPhase::Resetting
                   ? 100
                   : x.Percent;
    return sum / int(m.size());
}

void TUpgradeFleetView::RetranslateRows() { FModel->AllChanged(); }
