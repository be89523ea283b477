#pragma once
// lv_Dev's rows as a table model over the session's device list: one row per MAC, the six columns
// of the list and a result column for the actions on several modules. It observes the session
// (rows added, the list cleared) and is never fed by the window; the results come from the run
// that produced them, by MAC. Rows that conflict (one IP answered by several MACs, an IP outside
// the subnets of the interface it answered on) carry a warning sign and say why.

#include "netconfig/DeviceList.h"
#include "netconfig/Fleet.h"
#include "netconfig/FleetRun.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>

class TLanSession;

class TDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColIP, ColName, ColMac, ColVersion, ColFlag, ColIpIndex, ColResult, ColumnCount };
    // Design widths; Flag and IpIndex are hidden, and so is the result column while no row has a
    // result (it then takes ResultWidth).
    static constexpr std::array<int, ColumnCount> ColumnWidths{100, 108, 114, 42, 0, 0, 0};
    static constexpr int ResultWidth = 80;
    // Rows arriving within this time have their warnings worked out once, together.
    static constexpr int WarningDelayMs = 100;

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

    // ---- Results of an action on several modules ----
    // The module's row (by MAC, any spacing) shows this result: its text, an icon, the module's
    // answer as tool tip and description. Kept until ClearResults or until the list is emptied; a
    // module without a row keeps its result for the row it may get.
    void SetResult(const QString &mac, const TFleetModuleResult &result);
    // The module is being worked on: its row says so until its result comes.
    void SetPending(const QString &mac);
    void ClearResults();
    // nullptr when the module has no result (or is still pending).
    const TFleetModuleResult *Result(const QString &mac) const;
    bool HasResults() const { return !FResults.isEmpty(); }
    // The texts in the current language again (after a switch).
    void Retranslate();

    // ---- Warnings ----
    // The subnets of a binding (by index); by default those of the session's binding. Tests put
    // in their own.
    std::function<QList<TSubnet>(int binding)> SubnetsOf;
    // The warnings of a row as last worked out (a moment after rows arrive, WarningDelayMs).
    QList<TRowWarning> Warnings(int row) const;
    // Works them out now.
    void UpdateWarnings();
    // What the IP and name cells' tool tip says: the warnings with what to do, and how the row was found.
    QString RowHint(int row) const;

signals:
    // The result column has become needed (a first result) or no longer is (cleared).
    void ResultsShown(bool shown);

private:
    struct TRowResult {
        bool Pending = false;
        TFleetModuleResult R;
    };
    QPointer<TLanSession> FSession;
    int FRows = 0; // the rows announced to the views
    std::array<QString, ColumnCount> FCaptions;
    QHash<QString, TRowResult> FResults; // 12 digits -> result
    QList<QList<TRowWarning>> FWarnings;  // per row, as last worked out
    QTimer FWarningTimer;

    const TRowResult *resultOf(int row) const;
    void resultChanged(const QString &digits, bool wasEmpty);
    QVariant resultData(const TRowResult &r, int role) const;
};
