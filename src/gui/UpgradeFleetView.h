#pragma once
// The upgrade window's fleet view, for several modules at once: the options of the run and the
// list of the modules, each with its progress bar and status, all as TUpgradeFleet reports them.
// The window around it owns the file, the local address, the buttons and the status line.

#include "upgrade/UpgradeFleet.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QSpinBox;
class QTreeView;

// lv_UpModules' rows: one per module, shown from the fleet's records (or the planned modules
// before a run).
class TUpgradeFleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColMac, ColIP, ColVersion, ColProgress, ColStatus, ColumnCount };
    static constexpr int PercentRole = Qt::UserRole + 1;

    explicit TUpgradeFleetModel(QObject *parent = nullptr);
    // The records to show; they must live as long as they are shown.
    void SetModules(const std::vector<TUpFleetModule> *modules);
    void RowChanged(int row);
    // Every row again (the language changed).
    void AllChanged();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override;

private:
    const std::vector<TUpFleetModule> *FModules = nullptr;
    QStringList FHeaders;
};

class TUpgradeFleetView : public QWidget {
    Q_OBJECT
public:
    explicit TUpgradeFleetView(QWidget *parent = nullptr);

    // The modules of the next run, listed, waiting.
    void SetTargets(const QList<TUpFleetTarget> &targets);
    const QList<TUpFleetTarget> &Targets() const { return FTargets; }
    // Takes the options from the controls and starts; false when nothing started (why: reason).
    // With lookBack each module is looked for after its success (the fleet's OnSearch searches).
    bool Start(const QString &localIP, const QString &binFile, bool lookBack, QString &reason);
    void Stop();
    bool Running() const { return FFleet.Running(); }
    // The run so far in one line (a language key and what follows its text) and one percentage.
    QString SummaryText() const;
    int SummaryPercent() const;
    // Re-shows the statuses in the current language.
    void RetranslateRows();

    TUpgradeFleet &Fleet() { return FFleet; }
    TUpgradeFleetModel *Model() const { return FModel; }

    // Called when a module's line or the run changed, and when the run ended.
    std::function<void()> OnChanged;
    std::function<void()> OnFinished;

private:
    void setOptionsEnabled(bool enabled);

    TUpgradeFleet FFleet;
    QList<TUpFleetTarget> FTargets;
    std::vector<TUpFleetModule> FPlanned;
    bool FRan = false; // the list shows the fleet's records of a run
    TUpgradeFleetModel *FModel;
    QGroupBox *grp_UpOptions;
    QSpinBox *edt_UpParallel;
    QSpinBox *edt_UpBlockTimeOut;
    QCheckBox *chk_UpCanary;
    QCheckBox *chk_UpResetAfter;
    QGroupBox *grp_UpModules;
    QTreeView *lv_UpModules;
};
