#pragma once
// What a control of an editor page holds, without the widget: the GUI copies these to and from its
// widgets, the CLI edits them from its arguments.

#include <QString>
#include <QStringList>

struct TEditState {
    QString Text;
    int MaxLength = 0; // 0: no limit
    bool Visible = true;
    bool Enabled = true;
};

struct TCheckState {
    bool Checked = false;
    bool Visible = true;
    bool Enabled = true;
};

struct TComboState {
    QStringList Items;
    int Index = -1; // -1: no selection
    bool Visible = true;
    bool Enabled = true;

    // An index outside the list leaves no selection, as a list control does.
    void Select(int i) { Index = (i >= 0 && i < Items.size()) ? i : -1; }
    QString Text() const { return Index >= 0 ? Items[Index] : QString(); }
    int IndexOf(const QString &text) const { return int(Items.indexOf(text)); }
};

struct TLabelState {
    bool Visible = true;
    bool Grey = false; // silver font: the control it names is disabled
};

struct TGroupState {
    bool Visible = true;
};

// True when every character is a decimal digit; an empty text counts as digits.
bool IsDigits(const QString &text);
// A strict dotted quad: four decimal numbers 0..255.
bool IsDottedQuad(const QString &text);

// What the bytes behind a field can carry: a number within a range (the width of its bytes, or
// fewer where the module allows fewer), or an IPv4 address in four bytes. Free: any text.
struct TValueRule {
    enum Kind { Free, Number, IPv4 };
    Kind RuleKind = Free;
    qint64 Min = 0;
    qint64 Max = 0;

    static TValueRule Range(qint64 min, qint64 max) { return {Number, min, max}; }
    static TValueRule Address() { return {IPv4, 0, 0}; }
};
constexpr qint64 MaxByte = 0xFF;
constexpr qint64 MaxWord = 0xFFFF;
constexpr qint64 MaxLe24 = 0xFFFFFF;
constexpr qint64 MaxInt32 = 0x7FFFFFFF;

// A number rule narrowed to what an edit of maxLength characters takes (0: no limit).
TValueRule WithinLength(TValueRule rule, int maxLength);

enum class TValueFault { None, NotNumber, OutOfRange, NotIPv4 };
// The text against the rule. A number is decimal digits only; an address may have blanks around
// it (never inside).
TValueFault CheckValueRule(const TValueRule &rule, const QString &text);
// The page's message for a fault, in the selected language: the label, then the text of
// lang_IsNotNum, lang_IsOutOfRange (with the range) or lang_IsNotIPv4. Empty for None.
QString ValueFaultMessage(const QString &label, TValueFault fault, const TValueRule &rule);

// The custom baud-rate choice of a baud list whose item 0 is a free slot and item 1 "Custom":
// an answer that converts to a 32-bit integer goes into item 0; anything else selects "9600";
// a cancelled prompt (no answer) keeps item 0 and selects it.
void ApplyCustomBaud(TComboState &list, const QString *answer);
// The parity, data-bits and stop-bits lists of both pages, at NONE, 8 and 1.
void InitSerialLists(TComboState &parity, TComboState &dataBits, TComboState &stopBits);
// Selects the item whose text is the number, or writes it into item 0 and selects that.
void SelectBaud(TComboState &list, const QString &text);
// The serial page's baud-rate list (cbbSoftBitRate): item 0 a free slot ("115200"), item 1 the
// custom entry, then the rates from 600 to 921600; "9600" selected.
void InitSoftBitRate(TComboState &list);
