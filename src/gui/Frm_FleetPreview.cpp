#include "gui/Frm_FleetPreview.h"

#include "core/VisibleText.h"
#include "gui/Accessibility.h"
#include "gui/TextTable.h"
#include "lang/LangList.h"
#include "netconfig/Fleet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int FieldRole = Qt::UserRole + 1; // a tickable row: its field's name

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QString text(const char *key) { return GetLangText(QLatin1String(key)); }

} // namespace

TFrm_FleetPreview::TFrm_FleetPreview(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_FleetPreview"));
    lbl_PreviewInfo = named(new QLabel(this), "lbl_PreviewInfo");
    lbl_PreviewInfo->setWordWrap(true);
    grp_Preview = named(new QGroupBox(this), "grp_Preview");
    tv_Preview = named(new QTreeWidget(grp_Preview), "tv_Preview");
    tv_Preview->setColumnCount(ColumnCount);
    tv_Preview->setRootIsDecorated(false);
    tv_Preview->setUniformRowHeights(true);
    tv_Preview->header()->setStretchLastSection(true);
    auto *inGroup = new QVBoxLayout(grp_Preview);
    inGroup->addWidget(tv_Preview);
    cb_PreviewVerify = named(new QCheckBox(this), "cb_PreviewVerify");
    btn_PreviewWrite = named(new QPushButton(this), "btn_PreviewWrite");
    btn_PreviewCancel = named(new QPushButton(this), "btn_PreviewCancel");
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(btn_PreviewWrite, QDialogButtonBox::AcceptRole);
    buttons->addButton(btn_PreviewCancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    btn_PreviewCancel->setDefault(true);

    auto *page = new QVBoxLayout(this);
    page->addWidget(lbl_PreviewInfo);
    page->addWidget(grp_Preview, 1);
    page->addWidget(cb_PreviewVerify);
    page->addWidget(buttons);
    resize(720, 420);

    // One tick per field: every module's row of that field follows.
    connect(tv_Preview, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        const QString field = item->data(ColField, FieldRole).toString();
        if (column != ColField || field.isEmpty())
            return;
        const Qt::CheckState state = item->checkState(ColField);
        const QSignalBlocker block(tv_Preview);
        for (int i = 0; i < tv_Preview->topLevelItemCount(); ++i) {
            QTreeWidgetItem *other = tv_Preview->topLevelItem(i);
            if (other->data(ColField, FieldRole).toString() == field)
                other->setCheckState(ColField, state);
        }
    });
    ApplyTexts();
}

void TFrm_FleetPreview::SetResults(const QString &info, const QList<TFleetModuleResult> &results,
                                   const QList<TSkippedField> &left, const QStringList &tickable)
{
    FInfo = info;
    FResults = results;
    FLeft = left;
    FTickable = tickable;
    fill();
}

void TFrm_FleetPreview::fill()
{
    const QStringList ticked = Ticked();
    const QSignalBlocker block(tv_Preview);
    tv_Preview->clear();
    lbl_PreviewInfo->setText(FInfo);
    const auto add = [&](const QString &module, const QString &field, const QString &old, const QString &now) {
        auto *item = new QTreeWidgetItem(tv_Preview, {module, field, VisibleText(old), VisibleText(now)});
        for (int c = 0; c < ColumnCount; ++c)
            item->setToolTip(c, item->text(c));
        return item;
    };
    for (const TSkippedField &s : FLeft)
        add(text("lang_ts_AllModules"), s.Name, {}, text("lang_Hint_PreviewSkipped").arg(s.Reason));
    for (const TFleetModuleResult &r : FResults) {
        if (r.Result != TFleetResult::DryRun) {
            // The answer adds nothing when it only repeats the result ("no answer: no answer").
            const QString result = FleetResultText(r.Result);
            const bool same = r.Answer.isEmpty() || r.Answer.compare(result, Qt::CaseInsensitive) == 0;
            add(r.Mac, {}, {}, same ? result : result + QStringLiteral(": ") + r.Answer);
            continue;
        }
        for (const TFieldChange &c : r.Changes) {
            if (c.Old == c.New)
                continue;
            QTreeWidgetItem *item = add(r.Mac, c.Name, c.Old, c.New);
            if (FTickable.contains(c.Name)) {
                item->setData(ColField, FieldRole, c.Name);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(ColField, ticked.contains(c.Name) ? Qt::Checked : Qt::Unchecked);
                item->setToolTip(ColField, text("lang_Hint_PreviewTick"));
            }
        }
        for (const TSkippedField &s : r.Skipped)
            add(r.Mac, s.Name, {}, text("lang_Hint_PreviewSkipped").arg(s.Reason));
    }
    for (int c = 0; c < ColumnCount - 1; ++c)
    {
        // A little room beyond the widest text, so no cell touches the next column.
        tv_Preview->resizeColumnToContents(c);
        tv_Preview->setColumnWidth(c, tv_Preview->columnWidth(c) + 12);
    }
    btn_PreviewWrite->setEnabled(CanWrite());
}

QStringList TFrm_FleetPreview::Ticked() const
{
    QStringList out;
    for (int i = 0; i < tv_Preview->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = tv_Preview->topLevelItem(i);
        const QString field = item->data(ColField, FieldRole).toString();
        if (!field.isEmpty() && item->checkState(ColField) == Qt::Checked && !out.contains(field))
            out << field;
    }
    return out;
}

bool TFrm_FleetPreview::Verify() const { return cb_PreviewVerify->isChecked(); }
void TFrm_FleetPreview::SetVerify(bool on) { cb_PreviewVerify->setChecked(on); }

bool TFrm_FleetPreview::CanWrite() const
{
    for (const TFleetModuleResult &r : FResults)
        if (r.Result == TFleetResult::DryRun && !r.Frames.isEmpty())
            return true;
    return false;
}

void TFrm_FleetPreview::ApplyTexts()
{
    ApplyTextRows(this, FleetPreviewTextRows);
    if (!FResults.isEmpty() || !FLeft.isEmpty())
        fill(); // the skipped and result texts in the new language
    ApplyAccessibleNames(this);
}

// ---- Save profile ----

TFrm_SaveProfile::TFrm_SaveProfile(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_SaveProfile"));
    lbl_SaveProfileFrom = named(new QLabel(this), "lbl_SaveProfileFrom");
    cb_ProfileIdentity = named(new QCheckBox(this), "cb_ProfileIdentity");
    cb_ProfileCredentials = named(new QCheckBox(this), "cb_ProfileCredentials");
    lbl_ProfileComment = named(new QLabel(this), "lbl_ProfileComment");
    edt_ProfileComment = named(new QLineEdit(this), "edt_ProfileComment");
    edt_ProfileComment->setMaxLength(ProfileMaxText);
    lbl_ProfileComment->setBuddy(edt_ProfileComment);
    btn_SaveProfileOk = named(new QPushButton(this), "btn_SaveProfileOk");
    btn_SaveProfileCancel = named(new QPushButton(this), "btn_SaveProfileCancel");
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(btn_SaveProfileOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(btn_SaveProfileCancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    btn_SaveProfileOk->setDefault(true);

    auto *page = new QVBoxLayout(this);
    page->addWidget(lbl_SaveProfileFrom);
    page->addWidget(cb_ProfileIdentity);
    page->addWidget(cb_ProfileCredentials);
    auto *comment = new QFormLayout;
    comment->addRow(lbl_ProfileComment, edt_ProfileComment);
    page->addLayout(comment);
    page->addStretch(1);
    page->addWidget(buttons);
    setMinimumWidth(420);
    ApplyTexts();
}

void TFrm_SaveProfile::SetModule(const QString &mac)
{
    FMac = mac;
    lbl_SaveProfileFrom->setText(text("lang_Hint_SaveProfileFrom").arg(mac));
}

TProfileSaveOptions TFrm_SaveProfile::Options() const
{
    TProfileSaveOptions o;
    o.Identity = cb_ProfileIdentity->isChecked();
    o.Credentials = cb_ProfileCredentials->isChecked();
    return o;
}

QString TFrm_SaveProfile::Comment() const { return edt_ProfileComment->text(); }

void TFrm_SaveProfile::ApplyTexts()
{
    ApplyTextRows(this, SaveProfileTextRows);
    SetModule(FMac);
    ApplyAccessibleNames(this);
}
