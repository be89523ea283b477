#pragma once
// lv_Dev's rows as a table model over the core's device list: one row per MAC, six columns.

#include "netconfig/DeviceList.h"

#include <QAbstractTableModel>
#include <array>

class TDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColIP, ColName, ColMac, ColVersion, ColFlag, ColIpIndex, ColumnCount };
    // Design widths; Flag and IpIndex are hidden.
    static constexpr std::array<int, ColumnCount> ColumnWidths{100, 108, 114, 42, 0, 0};

    explicit TDeviceListModel(QObject *parent = nullptr);

    const TDeviceList &List() const { return FList; }
    const TDeviceRow *Row(int row) const;
    // A search reply: a new row unless a row has its MAC already or the list is full (the first
    // reply turned away for that warns in log). True when a row was added.
    bool AddReply(const QString &AIP, const QString &AName, const QString &AMac, const QString &AVersion, int AModel,
                  int ABindingIndex, const QByteArray &ASearchReply, ILogSink *log = nullptr);
    void Clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The captions come from the language table (set on every switch).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    TDeviceList FList;
    std::array<QString, ColumnCount> FCaptions;
};
