#include "gui/DeviceListModel.h"

#include "core/VisibleText.h"
#include "netconfig/LanSession.h"

TDeviceListModel::TDeviceListModel(TLanSession *session, QObject *parent)
    : QAbstractTableModel(parent),
      FSession(session),
      FCaptions{QStringLiteral("Device IP"), QStringLiteral("Device Name"), QStringLiteral("MAC"),
                QStringLiteral("Version"), QStringLiteral("Flag"), QStringLiteral("IpIndex")}
{
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
    });
    connect(session, &TLanSession::ListAboutToBeCleared, this, [this] { beginResetModel(); });
    connect(session, &TLanSession::ListCleared, this, [this] {
        FRows = 0;
        endResetModel();
    });
    connect(session, &QObject::destroyed, this, [this] {
        beginResetModel();
        FRows = 0;
        endResetModel();
    });
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
    if (!r || role != Qt::DisplayRole)
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

Qt::ItemFlags TDeviceListModel::flags(const QModelIndex &index) const
{
    // Read-only rows: selectable, never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
