#include "gui/PageView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>

void TPageView::ShowModel()
{
    {
        // The widgets' change signals during the copy are the model's own values coming back.
        const QScopedValueRollback guard(FShowing, true);
        FBind.Show();
    }
    AfterShow();
}

void TPageView::ReadModel()
{
    FBind.Read();
}

void TPageView::Changed(const std::function<void()> &rule)
{
    if (FShowing) return;
    ReadModel();
    if (rule) rule();
    ShowModel();
}

void TPageView::Watch(QWidget *control, std::function<void()> rule)
{
    auto run = [this, rule = std::move(rule)] { Changed(rule); };
    if (auto *e = qobject_cast<QLineEdit *>(control))
        connect(e, &QLineEdit::textChanged, this, run);
    else if (auto *m = qobject_cast<QPlainTextEdit *>(control))
        connect(m, &QPlainTextEdit::textChanged, this, run);
    else if (auto *c = qobject_cast<QComboBox *>(control))
        connect(c, &QComboBox::currentIndexChanged, this, run);
    else if (auto *b = qobject_cast<QAbstractButton *>(control))
        connect(b, &QAbstractButton::toggled, this, run);
}

QLineEdit *TPageView::Edit(QWidget *parent, const char *name, TEditState &state)
{
    QLineEdit *e = MakeEdit(parent, name);
    FBind.Edit(e, &state);
    Watch(e);
    return e;
}

QComboBox *TPageView::Combo(QWidget *parent, const char *name, TComboState &state, std::function<void()> rule)
{
    QComboBox *c = MakeCombo(parent, name);
    FBind.Combo(c, &state);
    Watch(c, std::move(rule));
    return c;
}

QCheckBox *TPageView::Check(QWidget *parent, const char *name, const QString &caption, TCheckState &state,
                            std::function<void()> rule)
{
    QCheckBox *c = MakeCheck(parent, name, caption);
    FBind.Check(c, &state);
    Watch(c, std::move(rule));
    return c;
}

QLabel *TPageView::Label(QWidget *parent, const char *name, const QString &caption, QWidget *field,
                         const TLabelState *state, const bool *fieldVisible)
{
    QLabel *l = MakeLabel(parent, name, caption, field);
    FBind.Label(l, state, fieldVisible);
    return l;
}

QLineEdit *TPageView::HiddenEdit(QWidget *parent, const char *name)
{
    QLineEdit *e = MakeEdit(parent, name);
    e->hide();
    return e;
}

QCheckBox *TPageView::HiddenCheck(QWidget *parent, const char *name, const QString &caption)
{
    QCheckBox *c = MakeCheck(parent, name, caption);
    c->hide();
    return c;
}

QLabel *TPageView::HiddenLabel(QWidget *parent, const char *name, const QString &caption, QWidget *field)
{
    QLabel *l = MakeLabel(parent, name, caption, field);
    l->hide();
    return l;
}

QWidget *TPageView::SerialBitsRow(QWidget *parent, const char *panel, const char *parity, const char *data,
                                  const char *stop, TComboState &p, TComboState &d, TComboState &s,
                                  QComboBox *&parityList)
{
    auto *pds = new QWidget(parent);
    pds->setObjectName(QLatin1String(panel));
    auto *row = new QHBoxLayout(pds);
    row->setContentsMargins(0, 0, 0, 0);
    parityList = Combo(pds, parity, p);
    row->addWidget(parityList, 1);
    auto *bits = new QHBoxLayout;
    bits->addWidget(Combo(pds, data, d), 1);
    bits->addWidget(Combo(pds, stop, s), 1);
    row->addLayout(bits, 1);
    for (QComboBox *c : pds->findChildren<QComboBox *>())
        if (c != parityList)
            SetFieldWidth(c, 40);
    SetFieldWidth(pds, 150);
    return pds;
}
