#pragma once
// The two dialogs of the window's fleet writes. The preview lists, per module, each field with the
// value the module holds now and the value it would get (from a dry run of the fleet engine, which
// read every module first), the fields left out and why, and the modules that cannot be written;
// identity fields carry a tick, unticked, so that they travel only when asked for. The save dialog
// asks what a profile saved from the page keeps.

#include "netconfig/FleetRun.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class TFrm_FleetPreview : public QDialog {
    Q_OBJECT
public:
    enum Column { ColModule, ColField, ColOld, ColNew, ColumnCount };

    explicit TFrm_FleetPreview(QWidget *parent = nullptr);

    // info: the line above the list. left: fields the page changed that no module gets (shown for
    // every module). tickable: fields shown with a tick (unticked) instead of as written.
    void SetResults(const QString &info, const QList<TFleetModuleResult> &results,
                    const QList<TSkippedField> &left = {}, const QStringList &tickable = {});
    // The tickable fields ticked (a tick on one module's row ticks the field for all).
    QStringList Ticked() const;
    bool Verify() const;
    void SetVerify(bool on);
    // Whether some module would get a change (the Write button is enabled then).
    bool CanWrite() const;
    void ApplyTexts();

    QLabel *lbl_PreviewInfo;
    QGroupBox *grp_Preview;
    QTreeWidget *tv_Preview;
    QCheckBox *cb_PreviewVerify;
    QPushButton *btn_PreviewWrite, *btn_PreviewCancel;

private:
    QString FInfo;
    QList<TFleetModuleResult> FResults;
    QList<TSkippedField> FLeft;
    QStringList FTickable;
    void fill();
};

class TFrm_SaveProfile : public QDialog {
    Q_OBJECT
public:
    explicit TFrm_SaveProfile(QWidget *parent = nullptr);
    void SetModule(const QString &mac);
    TProfileSaveOptions Options() const;
    QString Comment() const;
    void ApplyTexts();

    QLabel *lbl_SaveProfileFrom;
    QCheckBox *cb_ProfileIdentity, *cb_ProfileCredentials;
    QLabel *lbl_ProfileComment;
    QLineEdit *edt_ProfileComment;
    QPushButton *btn_SaveProfileOk, *btn_SaveProfileCancel;

private:
    QString FMac;
};
