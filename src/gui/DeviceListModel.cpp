#include "gui/DeviceListModel.h"

#include "core/ProFun.h"
#include "core/VisibleText.h"
#include "lang/LangList.h"
#include "netconfig/LanSession.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

namespace {

QString digitsOf(const QString &mac) { return RemoveSpaces(mac).toUpper(); }

QIcon resultIcon(TFleetResult r)
{
    QStyle *style = QApplication::style();
    if (!style)
        return {};
    switch (r) {
    case TFleetResult::Ok:
    case TFleetResult::DryRun: return style->standardIcon(QStyle::SP_DialogApplyButton);
    case TFleetResult::WrongModel:
    case TFleetResult::NotBack:
    case TFleetResult::Mismatch:
    case TFleetResult::NoFile:
    case TFleetResult::NotSaved: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    default: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    }
}

} // namespace

TDeviceListModel::TDeviceListModel(TLanSession *session, QObject *parent)
    : QAbstractTableModel(parent),
      FSession(session),
      FCaptions{QStringLiteral("Device IP"), QStringLiteral("Device Name"), QStringLiteral("MAC"),
                QStringLiteral("Version"), QStringLiteral("Flag"), QStringLiteral("IpIndex"),
                QStringLiteral("Result")}
{
    SubnetsOf = [this](int binding) -> QList<TSubnet> {
        return FSession ? InterfaceSubnets(FSession->Svr().BindingIP(binding)) : QList<TSubnet>();
    };
    // A burst of replies is looked at once: the warnings of one row depend on every other row.
    FWarningTimer.setSingleShot(true);
    FWarningTimer.setInterval(WarningDelayMs);
    connect(&FWarningTimer, &QTimer::timeout, this, [this] { UpdateWarnings(); });
    if (!session)
        return;
    FRows = session->Devices().Count();
    // The session adds a row first and then says so: the views hear of it as an insertion here.
    connect(session, &TLanSession::RowAdded, this, [this](int row) {
        if (row < FRows || !FSession || row >= FSession->Devices().Count())
            return;
        beginInsertRows({}, FRows, row);
        FRows = row + 1;
        endInsertRows();
        if (!FWarningTimer.isActive())
            FWarningTimer.start();
    });
    connect(session, &TLanSession::ListAboutToBeCleared, this, [this] { beginResetModel(); });
    connect(session, &TLanSession::ListCleared, this, [this] {
        FRows = 0;
        FWarnings.clear();
        FWarningTimer.stop();
        // A new search starts afresh: the results of the last run belong to the old list.
        const bool had = !FResults.isEmpty();
        FResults.clear();
        endResetModel();
        if (had)
            emit ResultsShown(false);
    });
    connect(session, &QObject::destroyed, this, [this] {
        beginResetModel();
        FRows = 0;
        FWarnings.clear();
        endResetModel();
    });
    if (FRows > 0)
        FWarningTimer.start();
}

const TDeviceList &TDeviceListModel::List() const
{
    static const TDeviceList none;
    return FSession ? FSession->Devices() : none;
}

const TDeviceRow *TDeviceListModel::Row(int row) const
{
    return row >= 0 && row < FRows && row < List().Count() ? &List().Rows[row] : nullptr;
}

int TDeviceListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : FRows; }

int TDeviceListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TDeviceListModel::data(const QModelIndex &index, int role) const
{
    const TDeviceRow *r = index.isValid() ? Row(index.row()) : nullptr;
    if (!r)
        return {};
    if (index.column() == ColResult) {
        const TRowResult *res = resultOf(index.row());
        return res ? resultData(*res, role) : QVariant();
    }
    // The warning sign goes beside the name, which may be cut anyway (the IP and the MAC are shown
    // whole); both cells say what is wrong.
    if ((index.column() == ColIP || index.column() == ColName) && role != Qt::DisplayRole) {
        switch (role) {
        case Qt::DecorationRole:
            if (index.column() == ColName && !Warnings(index.row()).isEmpty())
                if (QStyle *style = QApplication::style())
                    return style->standardIcon(QStyle::SP_MessageBoxWarning);
            return {};
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole: {
            const QString hint = RowHint(index.row());
            return hint.isEmpty() ? QVariant() : QVariant(hint);
        }
        default: return {};
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColIP: return r->IP;
    case ColName: return VisibleText(r->ShownName()); // a module's bytes are shown, never acted on
    case ColMac: return r->Mac;
    case ColVersion: return r->Version;
    case ColFlag: return QString::number(r->Model);
    case ColIpIndex: return QString::number(r->BindingIndex);
    default: return {};
    }
}

QVariant TDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return FCaptions[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

bool TDeviceListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    FCaptions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

// ---- Results ----

const TDeviceListModel::TRowResult *TDeviceListModel::resultOf(int row) const
{
    const TDeviceRow *r = Row(row);
    if (!r || FResults.isEmpty())
        return nullptr;
    const auto it = FResults.constFind(r->MacDigits().toUpper());
    return it == FResults.cend() ? nullptr : &*it;
}

QVariant TDeviceListModel::resultData(const TRowResult &r, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return r.Pending ? GetLangText(QStringLiteral("lang_ts_FleetPending")) : FleetResultText(r.R.Result);
    case Qt::DecorationRole:
        return r.Pending ? QVariant() : QVariant(resultIcon(r.R.Result));
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
        if (r.Pending)
            return {};
        // The module's answer, as it was given; what the run noticed beside it on a line of its own.
        QStringList lines;
        if (!r.R.Answer.isEmpty())
            lines << VisibleText(r.R.Answer);
        if (!r.R.Note.isEmpty())
            lines << VisibleText(r.R.Note);
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
    default: return {};
    }
}

void TDeviceListModel::resultChanged(const QString &digits, bool wasEmpty)
{
    if (FSession)
        if (const int row = FSession->Devices().IndexOfMac(digits); row >= 0 && row < FRows)
            emit dataChanged(index(row, ColResult), index(row, ColResult));
    if (wasEmpty)
        emit ResultsShown(true);
}

void TDeviceListModel::SetResult(const QString &mac, const TFleetModuleResult &result)
{
    const QString digits = digitsOf(mac);
    if (digits.isEmpty())
        return;
    const bool wasEmpty = FResults.isEmpty();
    FResults.insert(digits, {false, result});
    resultChanged(digits, wasEmpty);
}

void TDeviceListModel::SetPending(const QString &mac)
{
    const QString digits = digitsOf(mac);
    if (digits.isEmpty())
        return;
    const bool wasEmpty = FResults.isEmpty();
    TRowResult pending;
    pending.Pending = true;
    FResults.insert(digits, pending);
    resultChanged(digits, wasEmpty);
}

void TDeviceListModel::ClearResults()
{
    if (FResults.isEmpty())
        return;
    FResults.clear();
    if (FRows > 0)
        emit dataChanged(index(0, ColResult), index(FRows - 1, ColResult));
    emit ResultsShown(false);
}

const TFleetModuleResult *TDeviceListModel::Result(const QString &mac) const
{
    const auto it = FResults.constFind(digitsOf(mac));
    return it == FResults.cend() || it->Pending ? nullptr : &it->R;
}

void TDeviceListModel::Retranslate()
{
    UpdateWarnings();
    if (FRows > 0 && !FResults.isEmpty())
        emit dataChanged(index(0, ColResult), index(FRows - 1, ColResult));
}

// ---- Warnings ----

QList<TRowWarning> TDeviceListModel::Warnings(int row) const
{
    return row >= 0 && row < FWarnings.size() && row < FRows ? FWarnings[row] : QList<TRowWarning>();
}

void TDeviceListModel::UpdateWarnings()
{
    FWarningTimer.stop();
    const QList<TDeviceRow> rows = List().Rows.mid(0, FRows);
    FWarnings = FindSearchConflicts(rows, SubnetsOf ? SubnetsOf : [](int) { return QList<TSubnet>(); });
    if (FRows > 0)
        emit dataChanged(index(0, ColIP), index(FRows - 1, ColName),
                         {Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

QString TDeviceListModel::RowHint(int row) const
{
    const TDeviceRow *r = Row(row);
    if (!r)
        return {};
    QStringList lines;
    for (const TRowWarning &w : Warnings(row))
        lines << w.Text + QLatin1Char('\n') + w.Advice;
    if (!r->SearchedAt.isEmpty())
        lines << GetLangText(QStringLiteral("lang_ts_ByAddress")) + QStringLiteral(" ") + r->SearchedAt + QStringLiteral(": ") +
                     GetLangText(QStringLiteral("lang_Hint_ByAddress"));
    return lines.join(QLatin1Char('\n'));
}

Qt::ItemFlags TDeviceListModel::flags(const QModelIndex &index) const
{
    // Read-only rows: selectable, never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
