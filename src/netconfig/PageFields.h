#pragma once
// The page fields known by name: what each one holds, which display rule its change runs and which
// block of a network write carries it. The CLI's NAME=VALUE arguments and the profile files use
// these names, so that setting a field does what the same change in the window does.

#include "core/AppError.h"
#include "netconfig/PageControls.h"

#include <QList>
#include <QString>
#include <functional>
#include <stdexcept>

// A name no field has, or a value its field does not take. The message names what is allowed.
class EPageFieldError : public EAppError {
public:
    using EAppError::EAppError;
};

// The part of a Q2 network write that carries a field.
enum class TQ2Block {
    None,       // not a Q2 field
    Base,       // base block, always written
    Port,       // port block, always written
    HeartReg,   // heartbeat/register block: firmware from FirmwareHeartHttpd on
    Httpd,      // the two Httpd blocks: firmware from FirmwareHeartHttpd on and work mode "HTTPD Client"
    Modbus,     // the short Modbus block, when the module sent one
    ModbusPoll, // bytes 1..3 of the short Modbus block: only its 4-byte form
    ModbusPack, // the 87-byte Modbus block, when the module sent one
    ModbusNew,  // the 100-byte Modbus block, when the module sent one
};

template <typename TPage> struct TPageField {
    enum Kind { Text, Number, Check, List, Baud };
    QString Name;
    Kind FieldKind = Text;
    std::function<TEditState &(TPage &)> Edit;
    std::function<TCheckState &(TPage &)> Box;
    std::function<TComboState &(TPage &)> Combo;
    std::function<void(TPage &)> Changed; // the display rule of the control, if any
    QString Help;
    TQ2Block Block = TQ2Block::None;
    // What the field's bytes can carry; the page's checks refuse anything else.
    TValueRule Rule = {};
};

// One NAME=VALUE argument checked against a field list; raises EPageFieldError naming the allowed
// values. Returns the old and new value as shown to the user.
template <typename TPage>
std::pair<QString, QString> ApplyPageField(TPage &page, const QList<TPageField<TPage>> &fields,
                                           const QString &assignment);
template <typename TPage> QString PageFieldsHelp(const TPage &page, const QList<TPageField<TPage>> &fields);
// Case-insensitive; nullptr when no field has the name.
template <typename TPage>
const TPageField<TPage> *FindPageField(const QList<TPageField<TPage>> &fields, const QString &name);
// The value as NAME=VALUE would give it: the text, "0"/"1" for a check box, the selected item's
// text for a list (empty without a selection).
template <typename TPage> QString PageFieldText(TPage &page, const TPageField<TPage> &field);

struct TQ2Page;
struct TQ1Page;
const QList<TPageField<TQ2Page>> &Q2PageFields();
const QList<TPageField<TQ1Page>> &Q1PageFields();

#include "netconfig/PageFieldsImpl.h"
