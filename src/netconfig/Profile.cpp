#include "netconfig/Profile.h"

#include "core/ProFun.h"
#include "core/SafeFile.h"
#include "netconfig/Fleet.h"
#include "netconfig/PageFields.h"
#include "lang/LangList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <climits>
#include <cmath>

namespace {

using F = TPageField<TQ2Page>;

const QStringList topKeys = {QStringLiteral("format"),   QStringLiteral("formatVersion"), QStringLiteral("model"),
                             QStringLiteral("firmware"), QStringLiteral("savedFrom"),     QStringLiteral("savedAt"),
                             QStringLiteral("comment"),  QStringLiteral("fields")};

const TQ2Page &defaultPage()
{
    static const TQ2Page page;
    return page;
}

// The field table in the order a profile is applied: a hex box before its data, since checking
// the box converts the data it finds.
const QList<const F *> &applyOrder()
{
    static const QList<const F *> order = [] {
        QList<const F *> out;
        for (const F &f : Q2PageFields())
            out.append(&f);
        const auto moveBefore = [&](const char *box, const char *data) {
            const auto at = [&](const char *n) {
                for (int i = 0; i < out.size(); ++i)
                    if (out[i]->Name == QLatin1String(n))
                        return i;
                return -1;
            };
            const F *b = out.takeAt(at(box));
            out.insert(at(data), b);
        };
        moveBefore("HeartHex", "HeartData");
        moveBefore("RegHex", "RegData");
        return out;
    }();
    return order;
}

bool isWholeNumber(const QJsonValue &v, double lo, double hi)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    return std::isfinite(d) && d == std::floor(d) && d >= lo && d <= hi;
}

// The document is walked for nesting before the JSON parser sees it, and for keys given twice
// after it has accepted it (the parser keeps one of them silently).
bool scanStructure(const QByteArray &b, bool duplicates, QString &error)
{
    struct Level {
        bool Object = false;
        bool ExpectKey = false;
        QSet<QString> Keys;
    };
    QList<Level> stack;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const char c = b[i];
        if (c == '"') {
            qsizetype j = i + 1;
            while (j < b.size() && b[j] != '"')
                j += b[j] == '\\' ? 2 : 1;
            if (duplicates && !stack.isEmpty() && stack.last().Object && stack.last().ExpectKey) {
                const QByteArray raw = "[" + b.mid(i, j - i + 1) + "]";
                const QString key = QJsonDocument::fromJson(raw).array().at(0).toString();
                if (stack.last().Keys.contains(key)) {
                    error = QStringLiteral("the key \"%1\" appears twice").arg(key);
                    return false;
                }
                stack.last().Keys.insert(key);
                stack.last().ExpectKey = false;
            }
            i = j;
        } else if (c == '{' || c == '[') {
            if (stack.size() >= ProfileMaxDepth) {
                error = QStringLiteral("nested too deeply (a profile has at most %1 levels)").arg(ProfileMaxDepth);
                return false;
            }
            stack.append({c == '{', c == '{', {}});
        } else if (c == '}' || c == ']') {
            if (!stack.isEmpty())
                stack.removeLast();
        } else if (c == ',' && !stack.isEmpty() && stack.last().Object) {
            stack.last().ExpectKey = true;
        }
    }
    return true;
}

QString itemList(const TComboState &c)
{
    QStringList out;
    for (const QString &s : c.Items)
        out << QStringLiteral("\"%1\"").arg(s);
    return out.join(QLatin1String(", "));
}

// One field's value against the field's kind and the limits of its control.
bool checkValue(const F &f, const QJsonValue &v, QString &error)
{
    TQ2Page probe = defaultPage();
    const QString &n = f.Name;
    switch (f.FieldKind) {
    case F::Text: {
        if (!v.isString()) {
            error = QStringLiteral("%1 must be a text").arg(n);
            return false;
        }
        const QString s = v.toString();
        const int max = f.Edit(probe).MaxLength > 0 ? f.Edit(probe).MaxLength : ProfileMaxText;
        if (s.trimmed().isEmpty())
            error = QStringLiteral("%1 may not be empty").arg(n);
        else if (s.size() > max)
            error = QStringLiteral("%1 takes at most %2 characters").arg(n).arg(max);
        else if (s.contains(QChar(0)))
            error = QStringLiteral("%1 holds a zero character").arg(n);
        else if (CheckValueRule(f.Rule, s) == TValueFault::NotIPv4)
            error = QStringLiteral("%1 is not an IPv4 address: \"%2\"").arg(n, s);
        return error.isEmpty();
    }
    case F::Number: {
        // What the field's bytes carry (the page's checks refuse the rest), and no more digits than
        // its edit takes.
        const TValueRule r = WithinLength(f.Rule, f.Edit(probe).MaxLength);
        const bool ranged = r.RuleKind == TValueRule::Number;
        const double lo = ranged ? double(r.Min) : 0, hi = ranged ? double(r.Max) : double(INT_MAX);
        if (!isWholeNumber(v, lo, hi)) {
            error = QStringLiteral("%1 must be a whole number from %2 to %3").arg(n).arg(qint64(lo)).arg(qint64(hi));
            return false;
        }
        return true;
    }
    case F::Baud: {
        const bool ranged = f.Rule.RuleKind == TValueRule::Number;
        const double lo = ranged ? double(f.Rule.Min) : 1, hi = ranged ? double(f.Rule.Max) : double(INT_MAX);
        if (!isWholeNumber(v, lo, hi)) {
            error = QStringLiteral("%1 must be a baud rate, a whole number from %2 to %3")
                        .arg(n)
                        .arg(qint64(lo))
                        .arg(qint64(hi));
            return false;
        }
        return true;
    }
    case F::Check:
        if (!v.isBool()) {
            error = QStringLiteral("%1 must be true or false").arg(n);
            return false;
        }
        return true;
    case F::List: {
        const TComboState &c = f.Combo(probe);
        if (!v.isString() || !c.Items.contains(v.toString())) {
            error = QStringLiteral("%1 must be one of: %2").arg(n, itemList(c));
            return false;
        }
        return true;
    }
    }
    return false;
}

bool fail(QString &error, const QString &message)
{
    error = message;
    return false;
}

QByteArray jsonText(const QJsonValue &v)
{
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

} // namespace

QStringList TProfile::FieldNames() const
{
    QStringList out;
    for (const TProfileField &f : Fields)
        out << f.Name;
    return out;
}

bool TProfile::operator==(const TProfile &o) const
{
    if (Model != o.Model || Firmware != o.Firmware || SavedFrom != o.SavedFrom || SavedAt != o.SavedAt ||
        Comment != o.Comment || Fields.size() != o.Fields.size())
        return false;
    for (int i = 0; i < Fields.size(); ++i)
        if (Fields[i].Name != o.Fields[i].Name || Fields[i].Value != o.Fields[i].Value)
            return false;
    return true;
}

bool ParseProfile(const QByteArray &bytesIn, TProfile &profile, QString &error)
{
    profile = {};
    if (bytesIn.size() > ProfileMaxBytes)
        return fail(error, QStringLiteral("the file is larger than %1 bytes").arg(ProfileMaxBytes));
    QByteArray bytes = bytesIn;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (!scanStructure(bytes, false, error))
        return false;
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError)
        return fail(error, QStringLiteral("not valid JSON (%1 at byte %2)").arg(pe.errorString()).arg(pe.offset));
    if (!doc.isObject())
        return fail(error, QStringLiteral("not a Bexo-Z0 profile (no JSON object)"));
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")) != QJsonValue(ProfileFormatName))
        return fail(error, QStringLiteral("not a Bexo-Z0 profile (\"format\" is not \"%1\")").arg(ProfileFormatName));
    if (!scanStructure(bytes, true, error))
        return false;

    const QJsonValue version = root.value(QLatin1String("formatVersion"));
    if (version.isUndefined())
        return fail(error, QStringLiteral("\"formatVersion\" is missing"));
    if (!isWholeNumber(version, 0, INT_MAX) || version.toInt() != ProfileFormatVersion)
        return fail(error, QStringLiteral("profile format version %1 is not supported; this program reads version %2")
                               .arg(QString::fromUtf8(jsonText(version)).left(40))
                               .arg(ProfileFormatVersion));
    for (auto it = root.begin(); it != root.end(); ++it)
        if (!topKeys.contains(it.key()))
            return fail(error, QStringLiteral("unknown key \"%1\"").arg(it.key().left(64)));

    const QJsonValue model = root.value(QLatin1String("model"));
    if (!model.isString())
        return fail(error, QStringLiteral("\"model\" is missing or not a text"));
    if (model.toString() != QLatin1String("Q2"))
        return fail(
            error,
            QStringLiteral("profiles of model \"%1\" are not supported (Q2 only)").arg(model.toString().left(40)));

    if (root.contains(QLatin1String("firmware"))) {
        const QJsonValue fw = root.value(QLatin1String("firmware"));
        if (!isWholeNumber(fw, 1, 65535))
            return fail(error, QStringLiteral("\"firmware\" must be a version number from 1 to 65535"));
        profile.Firmware = fw.toInt();
    }
    const auto text = [&](const char *key, int max, QString &out) {
        if (!root.contains(QLatin1String(key)))
            return true;
        const QJsonValue v = root.value(QLatin1String(key));
        if (!v.isString() || v.toString().size() > max)
            return fail(
                error,
                QStringLiteral("\"%1\" must be a text of at most %2 characters").arg(QLatin1String(key)).arg(max));
        out = v.toString();
        return true;
    };
    if (!text("savedFrom", 64, profile.SavedFrom) || !text("savedAt", 64, profile.SavedAt) ||
        !text("comment", ProfileMaxText, profile.Comment))
        return false;

    const QJsonValue fieldsValue = root.value(QLatin1String("fields"));
    if (!fieldsValue.isObject())
        return fail(error, QStringLiteral("\"fields\" is missing or not an object"));
    const QJsonObject fields = fieldsValue.toObject();
    if (fields.isEmpty())
        return fail(error, QStringLiteral("\"fields\" is empty"));
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const F *f = FindPageField(Q2PageFields(), it.key());
        if (!f)
            return fail(error, QStringLiteral("unknown field \"%1\"").arg(it.key().left(64)));
        if (f->Name != it.key())
            return fail(error, QStringLiteral("unknown field \"%1\" (did you mean %2?)").arg(it.key(), f->Name));
        if (!checkValue(*f, it.value(), error))
            return false;
    }
    // Hex data must be hex when the profile also says it is.
    for (const auto &[box, data] : {std::pair{"HeartHex", "HeartData"}, std::pair{"RegHex", "RegData"}}) {
        if (!fields.value(QLatin1String(box)).toBool() || !fields.contains(QLatin1String(data)))
            continue;
        const QString hex = fields.value(QLatin1String(data)).toString();
        QByteArray sink(hex.size() / 2 + 1, '\0');
        if (hex.size() % 2 != 0 || !HexStrToBuf(hex, reinterpret_cast<uint8_t *>(sink.data()), int(hex.size() / 2)))
            return fail(error, QStringLiteral("%1 must be pairs of hex digits while %2 is true")
                                   .arg(QLatin1String(data), QLatin1String(box)));
    }
    for (const F &f : Q2PageFields())
        if (fields.contains(f.Name))
            profile.Fields.append({f.Name, fields.value(f.Name)});
    return true;
}

bool ReadProfileFile(const QString &path, TProfile &profile, QString &error)
{
    // Only a regular file, opened without waiting on a pipe's writer, and never more than the limit.
    QByteArray bytes;
    TFileRefusal refusal = TFileRefusal::None;
    QString why;
    if (!ReadRegularFile(path, ProfileMaxBytes, bytes, refusal, why)) {
        if (refusal == TFileRefusal::TooLarge)
            return fail(error, QStringLiteral("the file is larger than %1 bytes").arg(ProfileMaxBytes));
        if (refusal == TFileRefusal::NotRegular)
            return fail(error, QStringLiteral("the file is %1").arg(why));
        return fail(error, QStringLiteral("cannot read the file (%1)").arg(why));
    }
    return ParseProfile(bytes, profile, error);
}

QByteArray ProfileToJson(const TProfile &p)
{
    QByteArray out = "{\n";
    const auto line = [&](const char *key, const QJsonValue &v, bool last = false) {
        out += "  \"" + QByteArray(key) + "\": " + jsonText(v) + (last ? "\n" : ",\n");
    };
    line("format", ProfileFormatName);
    line("formatVersion", ProfileFormatVersion);
    line("model", p.Model);
    if (p.Firmware > 0)
        line("firmware", p.Firmware);
    if (!p.SavedFrom.isEmpty())
        line("savedFrom", p.SavedFrom);
    if (!p.SavedAt.isEmpty())
        line("savedAt", p.SavedAt);
    if (!p.Comment.isEmpty())
        line("comment", p.Comment);
    out += "  \"fields\": {\n";
    for (int i = 0; i < p.Fields.size(); ++i)
        out += "    " + jsonText(p.Fields[i].Name) + ": " + jsonText(p.Fields[i].Value) +
               (i + 1 < p.Fields.size() ? ",\n" : "\n");
    out += "  }\n}\n";
    return out;
}

bool WriteProfileFile(const QString &path, const TProfile &profile, QString &error)
{
    QString reason;
    if (!SafeWriteFile(path, ProfileToJson(profile), reason))
        return fail(error, QStringLiteral("cannot write %1 (%2)").arg(path, reason));
    return true;
}

TProfile ProfileFromPage(const TQ2Page &pageIn, int version, const TProfileSaveOptions &options,
                         QList<TSkippedField> *left)
{
    TQ2Page page = pageIn;
    TProfile p;
    p.Firmware = version > 0 && version <= 65535 ? version : 0;
    const auto leave = [&](const QString &name, const QString &why) {
        if (left)
            left->append({name, why});
    };
    for (const F &f : Q2PageFields()) {
        if (!options.Identity && IdentityFields().contains(f.Name)) {
            leave(f.Name, GetLangText(QStringLiteral("lang_Hint_FieldIdentity")));
            continue;
        }
        if (!options.Credentials && CredentialFields().contains(f.Name)) {
            leave(f.Name, GetLangText(QStringLiteral("lang_Hint_FieldLogin")));
            continue;
        }
        if (const QString why = Q2FieldNotWritten(page, version, f); !why.isEmpty()) {
            leave(f.Name, why);
            continue;
        }
        const QString text = PageFieldText(page, f);
        QJsonValue value;
        int n = 0;
        switch (f.FieldKind) {
        case F::Text:
            if (!text.trimmed().isEmpty())
                value = text;
            break;
        case F::Number:
        case F::Baud:
            if (TryStrToInt(text, n) && n >= 0)
                value = n;
            break;
        case F::Check: value = text == QLatin1String("1"); break;
        case F::List:
            if (!text.isEmpty())
                value = text;
            break;
        }
        QString check;
        if (value.isUndefined() || value.isNull() || !checkValue(f, value, check)) {
            leave(f.Name,
                  text.isEmpty()
                      ? GetLangText(QStringLiteral("lang_Hint_FieldNoValue"))
                      : GetLangText(QStringLiteral("lang_Hint_FieldNotHeld")).arg(check.isEmpty() ? text : check));
            continue;
        }
        p.Fields.append({f.Name, value});
    }
    return p;
}

QStringList ChangedQ2Fields(const TQ2Page &readIn, const TQ2Page &editedIn)
{
    TQ2Page read = readIn, edited = editedIn;
    QStringList names;
    for (const F &f : Q2PageFields())
        if (PageFieldText(read, f) != PageFieldText(edited, f))
            names << f.Name;
    return names;
}

TProfile ChangedFieldsProfile(const TQ2Page &read, const TQ2Page &edited, int version,
                              const QStringList &keepIdentity, QList<TSkippedField> *left)
{
    const QStringList changed = ChangedQ2Fields(read, edited);
    QList<TSkippedField> notKept;
    const TProfile whole = ProfileFromPage(edited, version, {true, true}, &notKept);
    TProfile p;
    p.Firmware = whole.Firmware;
    for (const TProfileField &f : whole.Fields) {
        if (!changed.contains(f.Name))
            continue;
        if (IdentityFields().contains(f.Name) && !keepIdentity.contains(f.Name)) {
            if (left)
                left->append({f.Name, GetLangText(QStringLiteral("lang_Hint_FieldIdentity"))});
            continue;
        }
        p.Fields.append(f);
    }
    if (left)
        for (const TSkippedField &s : notKept)
            if (changed.contains(s.Name))
                left->append(s);
    return p;
}

QString ProfileValueText(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

TProfileApplied ApplyProfile(TQ2Page &page, int version, const TProfile *profile, const QStringList &assignments)
{
    TProfileApplied r;
    QSet<QString> refused;
    if (profile) {
        for (const F *f : applyOrder()) {
            const auto it = std::find_if(profile->Fields.begin(), profile->Fields.end(),
                                         [&](const TProfileField &x) { return x.Name == f->Name; });
            if (it == profile->Fields.end())
                continue;
            try {
                const auto [was, now] =
                    ApplyPageField(page, Q2PageFields(), f->Name + u'=' + ProfileValueText(it->Value));
                r.Changes.append({f->Name, was, now});
            } catch (const EPageFieldError &e) {
                r.Skipped.append(
                    {f->Name, GetLangText(QStringLiteral("lang_Hint_FieldNotTaken")).arg(e.Message())});
                refused.insert(f->Name);
            }
        }
    }
    QSet<QString> named;
    if (profile)
        for (const TProfileField &f : profile->Fields)
            named.insert(f.Name);
    for (const QString &a : assignments) {
        const auto [was, now] = ApplyPageField(page, Q2PageFields(), a);
        const F *f = FindPageField(Q2PageFields(), a.left(a.indexOf(u'=')));
        r.Changes.append({f->Name, was, now});
        named.insert(f->Name);
        // The explicit value replaces a profile value this module did not take.
        if (refused.remove(f->Name))
            r.Skipped.removeIf([&](const TSkippedField &x) { return x.Name == f->Name; });
    }
    for (const F &f : Q2PageFields()) {
        if (!named.contains(f.Name) || refused.contains(f.Name))
            continue;
        if (const QString why = Q2FieldNotWritten(page, version, f); !why.isEmpty())
            r.Skipped.append({f.Name, why});
        else
            r.Written << f.Name;
    }
    // A skipped field may still be set on the page (the checks look at it), but it is no change the
    // module will see.
    r.Changes.removeIf([&](const TFieldChange &c) { return !r.Written.contains(c.Name); });
    return r;
}
