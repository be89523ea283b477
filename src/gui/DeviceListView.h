#pragma once
// lv_Dev: the found modules in report style, with the popup pm_NetDev. Rows are chosen with the
// mouse only (several with Ctrl or Shift held, or all with Ctrl+A): every other key is discarded,
// and the list takes the focus when the mouse moves over it.

#include <QTreeView>

class QMenu;
class QAction;
class TDeviceListModel;

class TDeviceListView : public QTreeView {
    Q_OBJECT
public:
    explicit TDeviceListView(QWidget *parent = nullptr);

    // Sets the model and the column widths; Flag and IpIndex stay hidden.
    void SetDeviceModel(TDeviceListModel *model);
    // The design widths, widened where the font needs more for a full MAC, an IP or a caption;
    // while the result column shows, the name column narrows (to MinNameWidth at least) for it.
    void FitColumns();
    static constexpr int MinNameWidth = 48;
    // The one selected row; -1 when none or several are selected.
    int SelectedRow() const;
    // Every selected row, in list order.
    QList<int> SelectedRows() const;
    void SelectRow(int row);

    QMenu *Popup() const { return FPopup; }
    // The popup's items, in menu order.
    QList<QAction *> PopupItems() const;

signals:
    // A left click on the list (on a row or beside the rows); a double click counts once.
    void Clicked();
    // The popup is asked for at a screen position.
    void PopupRequested(const QPoint &globalPos);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QMenu *FPopup;
    bool FSkipRelease = false;
    int FResultNeed = 0; // the widest result shown since the column appeared
};
