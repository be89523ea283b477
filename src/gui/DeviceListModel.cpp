#include "gui/DeviceListModel.h"

#include "core/VisibleText.h"

TDeviceListModel::TDeviceListModel(QObject *parent)
    : QAbstractTableModel(parent),
      FCaptions{QStringLiteral("Device IP"), QStringLiteral("Device Name"), QStringLiteral("MAC"),
                QStringLiteral("Version"), QStringLiteral("Flag"), QStringLiteral("IpIndex")}
{
}

const TDeviceRow *TDeviceListModel::Row(int row) const
{
    return row >= 0 && row < FList.Count() ? &FList.Rows[row] : nullptr;
}

bool TDeviceListModel::AddReply(const QString &AIP, const QString &AName, const QString &AMac,
                                const QString &AVersion, int AModel, int ABindingIndex,
                                const QByteArray &ASearchReply, ILogSink *log)
{
    // The core decides whether the reply makes a row (the first reply of a module wins); the row
    // is then taken back out for a moment so the views hear of it as an insertion.
    if (!FList.AddReply(AIP, AName, AMac, AVersion, AModel, ABindingIndex, ASearchReply, log))
        return false;
    TDeviceRow row = FList.Rows.takeLast();
    const int at = FList.Count();
    beginInsertRows({}, at, at);
    FList.Rows.append(std::move(row));
    endInsertRows();
    return true;
}

void TDeviceListModel::Clear()
{
    if (FList.Count() == 0)
        return;
    beginResetModel();
    FList.Clear();
    endResetModel();
}

int TDeviceListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : FList.Count(); }

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
