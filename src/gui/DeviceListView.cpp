#include "gui/DeviceListView.h"

#include "gui/DeviceListModel.h"
#include "gui/GuiUtil.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <algorithm>

TDeviceListView::TDeviceListView(QWidget *parent) : QTreeView(parent), FPopup(new QMenu(this))
{
    setObjectName(QStringLiteral("lv_Dev"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // A plain click chooses one row, as ever; Ctrl and Shift add rows for the actions on several.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);

    // The selected module stays marked while another control has the focus.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    setPalette(pal);

    InstallHoverFocus(this);

    FPopup->setObjectName(QStringLiteral("pm_NetDev"));
    for (const char *name : {"mni_OpenWeb", "mni_Restart", "mni_FirmwareUp", "mni_Reset", "", "mni_CopyTheMac",
                             "mni_CopeAllMac"}) {
        if (!*name) {
            FPopup->addSeparator();
            continue;
        }
        QAction *a = FPopup->addAction(QLatin1String(name));
        a->setObjectName(QLatin1String(name));
    }
}

QList<QAction *> TDeviceListView::PopupItems() const
{
    QList<QAction *> items;
    for (QAction *a : FPopup->actions())
        if (!a->isSeparator())
            items << a;
    return items;
}

void TDeviceListView::SetDeviceModel(TDeviceListModel *model)
{
    setModel(model);
    for (int c = 0; c < TDeviceListModel::ColumnCount; ++c)
        setColumnHidden(c, TDeviceListModel::ColumnWidths[c] == 0);
    FitColumns();
    if (model)
    {
        connect(model, &TDeviceListModel::ResultsShown, this, [this](bool shown) {
            FResultNeed = 0;
            setColumnHidden(TDeviceListModel::ColResult, !shown);
            FitColumns();
        });
        // The column grows for a longer result as it comes (only the changed cells are measured).
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &from, const QModelIndex &to) {
                    constexpr int c = TDeviceListModel::ColResult;
                    if (isColumnHidden(c) || from.column() > c || to.column() < c)
                        return;
                    int need = FResultNeed;
                    for (int r = from.row(); r <= to.row() && r - from.row() < 64; ++r)
                        need = qMax(need, fontMetrics().horizontalAdvance(
                                              this->model()->index(r, c).data().toString()) +
                                              style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) + 16);
                    if (need > FResultNeed) {
                        FResultNeed = need;
                        FitColumns();
                    }
                });
    }
}

void TDeviceListView::FitColumns()
{
    if (!model())
        return;
    // The widest text each column must show whole.
    static const char *const widest[TDeviceListModel::ColumnCount] = {"255.255.255.255", "", "DD DD DD DD DD DD",
                                                                      "65535", "", "", ""};
    const QFontMetrics fm(font());
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    for (int c = 0; c < TDeviceListModel::ColumnCount; ++c) {
        const int design = TDeviceListModel::ColumnWidths[c];
        if (design == 0)
            continue;
        int w = qMax(design, header()->sectionSizeHint(c));
        if (*widest[c])
            w = qMax(w, fm.horizontalAdvance(QLatin1String(widest[c])) + padding);
        setColumnWidth(c, w);
    }
    // The results are read without scrolling: the name, which is cut anyway, makes room for them.
    if (!isColumnHidden(TDeviceListModel::ColResult)) {
        const int result = std::max({TDeviceListModel::ResultWidth, FResultNeed,
                                     header()->sectionSizeHint(TDeviceListModel::ColResult)});
        int others = 0;
        for (int c = 0; c < TDeviceListModel::ColResult; ++c)
            if (c != TDeviceListModel::ColName && !isColumnHidden(c))
                others += columnWidth(c);
        const int room = viewport()->width() - others - result;
        setColumnWidth(TDeviceListModel::ColName, qBound(MinNameWidth, room, columnWidth(TDeviceListModel::ColName)));
        setColumnWidth(TDeviceListModel::ColResult, result);
    }
}

int TDeviceListView::SelectedRow() const
{
    const QList<int> rows = SelectedRows();
    return rows.size() == 1 ? rows.first() : -1;
}

QList<int> TDeviceListView::SelectedRows() const
{
    QList<int> rows;
    if (selectionModel())
        for (const QModelIndex &i : selectionModel()->selectedRows())
            rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TDeviceListView::SelectRow(int row)
{
    if (!model() || !selectionModel())
        return;
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TDeviceListView::keyPressEvent(QKeyEvent *event)
{
    // The keyboard neither moves the selection nor reads a module; it only selects every row.
    if (event->matches(QKeySequence::SelectAll))
        selectAll();
    event->accept();
}

void TDeviceListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (FSkipRelease) {
        FSkipRelease = false;
        return;
    }
    emit Clicked();
}

void TDeviceListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    // The second press of a double click is no second click.
    FSkipRelease = event->button() == Qt::LeftButton;
}

void TDeviceListView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    emit PopupRequested(event->globalPos());
}
