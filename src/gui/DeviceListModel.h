#pragma once
// lv_Dev's rows as a table model over the session's device list: one row per MAC, six columns.
// It observes the session (rows added, the list cleared) and is never fed by the window.

#include "netconfig/DeviceList.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <array>

class TLanSession;

class TDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColIP, ColName, ColMac, ColVersion, ColFlag, ColIpIndex, ColumnCount };
    // Design widths; Flag and IpIndex are hidden.
    static constexpr std::array<int, ColumnCount> ColumnWidths{100, 108, 114, 42, 0, 0};

    // Shows the session's list from now on; empty once the session is gone.
    explicit TDeviceListModel(TLanSession *session, QObject *parent = nullptr);

    // The rows shown (the session's list, or an empty one without a session).
    const TDeviceList &List() const;
    const TDeviceRow *Row(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The captions come from the language table (set on every switch).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QPointer<TLanSession> FSession;
    int FRows = 0; // the rows announced to the views
    std::array<QString, ColumnCount> FCaptions;
};
