#pragma once
// Template bodies of PageFields.h.
#include "core/ProFun.h"

template <typename TPage>
const TPageField<TPage> *FindPageField(const QList<TPageField<TPage>> &fields, const QString &name)
{
    for (const auto &f : fields)
        if (f.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

namespace page_fields_detail {
inline QString itemsText(const TComboState &c)
{
    QStringList out;
    for (int i = 0; i < c.Items.size(); ++i)
        out << QStringLiteral("%1 \"%2\"").arg(i).arg(c.Items[i]);
    return out.join(QStringLiteral(", "));
}
inline QString comboShown(const TComboState &c) { return c.Index < 0 ? QStringLiteral("(none)") : c.Text(); }
} // namespace page_fields_detail

template <typename TPage>
std::pair<QString, QString> ApplyPageField(TPage &page, const QList<TPageField<TPage>> &fields,
                                           const QString &assignment)
{
    using F = TPageField<TPage>;
    using namespace page_fields_detail;
    const qsizetype eq = assignment.indexOf(u'=');
    if (eq <= 0)
        throw EPageFieldError(QStringLiteral("expected NAME=VALUE, got '%1'").arg(assignment));
    const QString name = assignment.left(eq), value = assignment.mid(eq + 1);
    const F *f = FindPageField(fields, name);
    if (!f) {
        QStringList names;
        for (const auto &x : fields)
            names << x.Name;
        throw EPageFieldError(QStringLiteral("unknown field %1; the fields are: %2").arg(name, names.join(u' ')));
    }
    switch (f->FieldKind) {
    case F::Text:
    case F::Number: {
        TEditState &e = f->Edit(page);
        if (f->FieldKind == F::Number && !(IsDigits(value) && !value.isEmpty()))
            throw EPageFieldError(QStringLiteral("%1 needs a decimal number, not '%2'").arg(f->Name, value));
        if (e.MaxLength > 0 && value.size() > e.MaxLength)
            throw EPageFieldError(QStringLiteral("%1 takes at most %2 characters").arg(f->Name).arg(e.MaxLength));
        const QString old = e.Text;
        e.Text = value;
        if (f->Changed)
            f->Changed(page);
        return {old, value};
    }
    case F::Check: {
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            throw EPageFieldError(QStringLiteral("%1 is a check box: 0 or 1, not '%2'").arg(f->Name, value));
        TCheckState &c = f->Box(page);
        const QString old = c.Checked ? QStringLiteral("1") : QStringLiteral("0");
        c.Checked = value == QLatin1String("1");
        if (f->Changed)
            f->Changed(page);
        return {old, value};
    }
    case F::List: {
        TComboState &c = f->Combo(page);
        int index = c.IndexOf(value);
        for (int i = 0; index < 0 && i < c.Items.size(); ++i)
            if (c.Items[i].trimmed().compare(value.trimmed(), Qt::CaseInsensitive) == 0)
                index = i;
        int n = 0;
        if (index < 0 && TryStrToInt(value, n) && n >= 0 && n < c.Items.size())
            index = n;
        if (index < 0)
            throw EPageFieldError(QStringLiteral("%1 must be one of: %2").arg(f->Name, itemsText(c)));
        const QString old = comboShown(c);
        c.Index = index;
        if (f->Changed)
            f->Changed(page);
        return {old, c.Text()};
    }
    case F::Baud: {
        int n = 0;
        if (!TryStrToInt(value, n) || n <= 0)
            throw EPageFieldError(QStringLiteral("%1 needs a baud rate in decimal, not '%2'").arg(f->Name, value));
        TComboState &c = f->Combo(page);
        const QString old = comboShown(c);
        SelectBaud(c, QString::number(n));
        return {old, c.Text()};
    }
    }
    return {};
}

template <typename TPage> QString PageFieldsHelp(const TPage &page, const QList<TPageField<TPage>> &fields)
{
    using F = TPageField<TPage>;
    QStringList lines;
    TPage copy = page;
    for (const auto &f : fields) {
        QString allowed;
        switch (f.FieldKind) {
        case F::Text: {
            const int max = f.Edit(copy).MaxLength;
            if (f.Rule.RuleKind == TValueRule::IPv4)
                allowed = QStringLiteral("IPv4 address (four numbers 0..255 separated by dots)");
            else
                allowed = max > 0 ? QStringLiteral("text, at most %1 characters").arg(max) : QStringLiteral("text");
            break;
        }
        case F::Number: {
            const TValueRule r = WithinLength(f.Rule, f.Edit(copy).MaxLength);
            allowed = r.RuleKind == TValueRule::Number ? QStringLiteral("decimal number, %1..%2").arg(r.Min).arg(r.Max)
                                                       : QStringLiteral("decimal number");
            break;
        }
        case F::Check: allowed = QStringLiteral("0 or 1"); break;
        case F::List: allowed = page_fields_detail::itemsText(f.Combo(copy)); break;
        case F::Baud:
            allowed = f.Rule.RuleKind == TValueRule::Number
                          ? QStringLiteral("baud rate in decimal, %1..%2").arg(f.Rule.Min).arg(f.Rule.Max)
                          : QStringLiteral("baud rate in decimal");
            break;
        }
        lines << QStringLiteral("  %1  %2\n      %3").arg(f.Name, -16).arg(f.Help, allowed);
    }
    return lines.join(u'\n');
}

template <typename TPage> QString PageFieldText(TPage &page, const TPageField<TPage> &field)
{
    using F = TPageField<TPage>;
    switch (field.FieldKind) {
    case F::Text:
    case F::Number: return field.Edit(page).Text;
    case F::Check: return field.Box(page).Checked ? QStringLiteral("1") : QStringLiteral("0");
    case F::List:
    case F::Baud: return field.Combo(page).Text();
    }
    return {};
}
