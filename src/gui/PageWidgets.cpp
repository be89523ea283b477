#include "gui/PageWidgets.h"

#include "gui/TextTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>

namespace {

// The item rows of the main window's text table, by list and index.
const QHash<QString, QHash<int, const TTextRow *>> &itemRows()
{
    static const QHash<QString, QHash<int, const TTextRow *>> rows = [] {
        QHash<QString, QHash<int, const TTextRow *>> out;
        for (const TTextRow &row : MainTextRows)
            if (row.Prop == TTextProp::Item) out[QString::fromLatin1(row.Control)].insert(row.Index, &row);
        return out;
    }();
    return rows;
}

// A multi-line editor keeps its line breaks as LF whatever it was given.
QString editorLines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

void setShown(QWidget *w, bool visible)
{
    if (w->isHidden() == visible) w->setVisible(visible);
}

// Columns of a field grid: label, field, gap, label, field.
constexpr int GridColumns = 5;
constexpr int ColumnGap = 10;
// Widest label column in pixels.
constexpr int LabelColumnMax = 110;

} // namespace

void SetLabelGrey(QLabel *label, bool grey)
{
    if (IsLabelGrey(label) == grey) return;
    if (grey) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, GreyLabelColor());
        label->setPalette(p);
    } else {
        label->setPalette(QPalette()); // back to what the parent gives
    }
}

bool IsLabelGrey(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText) == GreyLabelColor();
}

QStringList ShownItems(const QString &listName, const QStringList &items)
{
    const auto list = itemRows().constFind(listName);
    if (list == itemRows().constEnd()) return items;
    QStringList out = items;
    for (int i = 0; i < out.size(); ++i)
        if (const TTextRow *row = list->value(i)) out[i] = RowText(*row);
    return out;
}

void SetFieldWidth(QWidget *field, int minimum)
{
    // Field columns share the row by their stretch alone, so they line up whatever they hold.
    field->setSizePolicy(QSizePolicy::Ignored, field->sizePolicy().verticalPolicy());
    field->setMinimumWidth(minimum);
}

void AlignLabelColumns(QWidget *page)
{
    const auto grids = page->findChildren<QGridLayout *>();
    for (int column : {0, 3}) {
        QList<QLabel *> labels;
        int width = 0;
        for (QGridLayout *g : grids)
            for (int i = 0; i < g->count(); ++i) {
                int row = 0, col = 0, rows = 0, cols = 0;
                g->getItemPosition(i, &row, &col, &rows, &cols);
                auto *label = qobject_cast<QLabel *>(g->itemAt(i)->widget());
                if (label && col == column && cols == 1) {
                    label->setWordWrap(false);
                    label->setMaximumWidth(QWIDGETSIZE_MAX);
                    labels << label;
                    width = std::max(width, label->sizeHint().width());
                }
            }
        // A caption longer than the column takes two lines rather than space from the fields;
        // the column still holds its longest word.
        width = std::min(width, LabelColumnMax);
        int words = 0;
        for (QLabel *label : labels) {
            label->setWordWrap(label->sizeHint().width() > width);
            if (label->wordWrap()) words = std::max(words, label->minimumSizeHint().width());
        }
        width = std::max(width, words);
        for (QLabel *label : labels)
            label->setMaximumWidth(label->wordWrap() ? width : QWIDGETSIZE_MAX);
        for (QGridLayout *g : grids)
            g->setColumnMinimumWidth(column, width);
    }
}

QLineEdit *MakeEdit(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    SetFieldWidth(e, 60);
    return e;
}

QComboBox *MakeCombo(QWidget *parent, const char *name)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    // The layout gives the width; a long item must not widen the page.
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(1);
    SetFieldWidth(c, 60);
    return c;
}

QCheckBox *MakeCheck(QWidget *parent, const char *name, const QString &caption)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QWidget *buddy)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setBuddy(buddy);
    return l;
}

QGroupBox *MakeGroup(QWidget *parent, const char *name, const QString &title)
{
    auto *g = new QGroupBox(title, parent);
    g->setObjectName(QString::fromLatin1(name));
    return g;
}

TFieldGrid::TFieldGrid(QGroupBox *group) : FGrid(new QGridLayout(group))
{
    FGrid->setColumnStretch(1, 1);
    FGrid->setColumnStretch(4, 1);
    FGrid->setColumnMinimumWidth(2, ColumnGap);
    FGrid->setVerticalSpacing(5);
    FGrid->setHorizontalSpacing(5);
}

void TFieldGrid::Field(int column, QLabel *label, QWidget *field)
{
    const int c = column == 0 ? 0 : 3;
    if (label) FGrid->addWidget(label, FRow, c);
    FGrid->addWidget(field, FRow, c + 1);
}

void TFieldGrid::WideField(QLabel *label, QWidget *field, QWidget *after)
{
    if (label) FGrid->addWidget(label, FRow, 0);
    FGrid->addWidget(field, FRow, 1, 1, GridColumns - 2);
    if (after) FGrid->addWidget(after, FRow, GridColumns - 1);
}

void TFieldGrid::FullField(QLabel *label, QWidget *field)
{
    if (label) FGrid->addWidget(label, FRow, 0);
    FGrid->addWidget(field, FRow, 1, 1, GridColumns - 1);
}

void TFieldGrid::Single(int column, QWidget *w)
{
    // In the first column the control may use the gap as well, so that a long caption does not
    // widen the field column and push this group's second column out of line with the others.
    if (column == 0)
        FGrid->addWidget(w, FRow, 0, 1, 3);
    else
        FGrid->addWidget(w, FRow, 3, 1, 2);
}

void TFieldGrid::Span(QWidget *w)
{
    FGrid->addWidget(w, FRow, 0, 1, GridColumns);
}

void TPageBinder::Edit(QLineEdit *w, TEditState *s)
{
    FEdits.append({w, s});
}
void TPageBinder::Memo(QPlainTextEdit *w, TEditState *s)
{
    FMemos.append({w, s});
}
void TPageBinder::Text(QLineEdit *w, QString *s)
{
    FTexts.append({w, s});
}
void TPageBinder::Check(QAbstractButton *w, TCheckState *s)
{
    FChecks.append({w, s});
}
void TPageBinder::Combo(QComboBox *w, TComboState *s)
{
    FCombos.append({w, s});
}
void TPageBinder::Label(QLabel *w, const TLabelState *s, const bool *fieldVisible)
{
    FLabels.append({w, s, fieldVisible});
}
void TPageBinder::Group(QWidget *w, const TGroupState *s)
{
    FGroups.append({w, s});
}

void TPageBinder::Show() const
{
    for (const auto &[w, s] : FEdits) {
        // The limit bounds typing only: a longer text from the module is shown whole.
        const int limit = s->MaxLength > 0 ? std::max<int>(s->MaxLength, int(s->Text.size())) : 32767;
        if (w->maxLength() != limit) w->setMaxLength(limit);
        if (w->text() != s->Text) {
            w->setText(s->Text);
            if (!w->hasFocus()) w->setCursorPosition(0); // show the start of a long text
        }
        setShown(w, s->Visible);
        w->setEnabled(s->Enabled);
    }
    for (const auto &[w, s] : FMemos) {
        if (w->toPlainText() != editorLines(s->Text)) w->setPlainText(s->Text);
        setShown(w, s->Visible);
        w->setEnabled(s->Enabled);
    }
    for (const auto &[w, s] : FTexts)
        if (w->text() != *s) w->setText(*s);
    for (const auto &[w, s] : FChecks) {
        if (w->isChecked() != s->Checked) w->setChecked(s->Checked);
        setShown(w, s->Visible);
        w->setEnabled(s->Enabled);
    }
    for (const auto &[w, s] : FCombos) {
        const QStringList items = ShownItems(w->objectName(), s->Items);
        if (w->count() != items.size()) {
            w->clear();
            w->addItems(items);
        } else {
            for (int i = 0; i < items.size(); ++i)
                if (w->itemText(i) != items[i]) w->setItemText(i, items[i]);
        }
        if (w->currentIndex() != s->Index) w->setCurrentIndex(s->Index);
        setShown(w, s->Visible);
        w->setEnabled(s->Enabled);
    }
    for (const LabelLink &l : FLabels) {
        setShown(l.Widget, (!l.State || l.State->Visible) && (!l.FieldVisible || *l.FieldVisible));
        SetLabelGrey(l.Widget, l.State && l.State->Grey);
    }
    for (const auto &[w, s] : FGroups)
        setShown(w, s->Visible);
}

void TPageBinder::Read() const
{
    for (const auto &[w, s] : FEdits)
        s->Text = w->text();
    for (const auto &[w, s] : FMemos) {
        // Text left alone goes back as it came, CR LF and all; edited text takes CR LF line
        // breaks, as the lines of an HTTP header need.
        const QString shown = w->toPlainText();
        if (shown != editorLines(s->Text)) s->Text = QString(shown).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    }
    for (const auto &[w, s] : FTexts)
        *s = w->text();
    for (const auto &[w, s] : FChecks)
        s->Checked = w->isChecked();
    for (const auto &[w, s] : FCombos)
        s->Index = w->currentIndex();
}
