#include "gui/Accessibility.h"

#include "lang/LangList.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTextEdit>

namespace {

// Fields that stand beside a picture instead of a label: the reader gets the words the picture
// means.
struct TPictureField {
    const char *Control;
    const char *Key;
};
const TPictureField PictureFields[] = {
    {"edt_UsrName", "lang_Lbl_UserName"},
    {"edt_Paswd", "lang_Lbl_Password"},
};

bool insideComboBox(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox *>(p))
            return true;
    return false;
}

QString labelText(const QLabel *label)
{
    const QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    return SpokenText(rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text);
}

// The text of the tab whose page holds w, or empty.
QString tabText(const QWidget *w)
{
    for (const QWidget *p = w; p; p = p->parentWidget()) {
        auto *stack = qobject_cast<const QStackedWidget *>(p->parentWidget());
        auto *tabs = stack ? qobject_cast<const QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs) {
            const int index = tabs->indexOf(const_cast<QWidget *>(p));
            if (index >= 0)
                return SpokenText(tabs->tabText(index));
        }
    }
    return {};
}

QString groupTitle(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (auto *g = qobject_cast<const QGroupBox *>(p))
            return SpokenText(g->title());
    return {};
}

// A caption a reader can say as a word ("..." is none).
bool hasWords(const QString &text)
{
    for (QChar c : text)
        if (c.isLetterOrNumber())
            return true;
    return false;
}

QString pictureFieldName(const QWidget *w)
{
    for (const TPictureField &f : PictureFields)
        if (w->objectName() == QLatin1String(f.Control))
            return GetLangText(QLatin1String(f.Key));
    return {};
}

// The name of a control that has none of its own; empty when nothing around it says what it is.
QString nameFor(const QWidget *w, const QLabel *label)
{
    if (label) {
        const QString text = labelText(label);
        if (!text.isEmpty())
            return text;
    }
    QString name = pictureFieldName(w);
    if (!name.isEmpty())
        return name;
    // A list or a pane fills its tab page; a field without a label serves its group.
    const bool fillsPage = qobject_cast<const QAbstractItemView *>(w) ||
                           qobject_cast<const QPlainTextEdit *>(w) || qobject_cast<const QTextEdit *>(w);
    if (fillsPage) {
        name = tabText(w);
        return name.isEmpty() ? groupTitle(w) : name;
    }
    name = groupTitle(w);
    return name.isEmpty() ? tabText(w) : name;
}

} // namespace

QString SpokenText(const QString &caption)
{
    QString s;
    s.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            // "&&" is a literal ampersand; a single one marks the next letter as the mnemonic.
            if (i + 1 < caption.size() && caption[i + 1] == u'&')
                s += caption[++i];
            continue;
        }
        s += caption[i];
    }
    return s.simplified();
}

bool IsUserControl(const QWidget *w)
{
    // Qt's own helpers ("qt_..."), such as the menu bar's overflow button, are parts of their owner.
    if (!w || insideComboBox(w) || w->objectName().startsWith(QLatin1String("qt_")))
        return false;
    if (qobject_cast<const QLineEdit *>(w))
        return !qobject_cast<const QAbstractSpinBox *>(w->parentWidget());
    if (qobject_cast<const QAbstractSlider *>(w))
        return !qobject_cast<const QScrollBar *>(w);
    return qobject_cast<const QPlainTextEdit *>(w) || qobject_cast<const QTextEdit *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QAbstractButton *>(w) ||
           qobject_cast<const QAbstractItemView *>(w) || qobject_cast<const QAbstractSpinBox *>(w);
}

void ApplyAccessibleNames(QWidget *root)
{
    if (!root)
        return;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    QHash<const QWidget *, const QLabel *> labels;
    for (QWidget *w : widgets)
        if (auto *l = qobject_cast<QLabel *>(w); l && l->buddy())
            labels.insert(l->buddy(), l);

    for (QWidget *w : widgets) {
        if (!IsUserControl(w))
            continue;
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            // Qt reads a button's caption; only a caption without words needs a name.
            const QString caption = SpokenText(b->text());
            if (!caption.isEmpty() && !hasWords(caption)) {
                const QString name = groupTitle(b);
                if (!name.isEmpty())
                    b->setAccessibleName(name);
            }
            continue;
        }
        const QString name = nameFor(w, labels.value(w));
        if (!name.isEmpty())
            w->setAccessibleName(name);
    }
}
