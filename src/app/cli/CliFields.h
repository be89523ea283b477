#pragma once
// The page fields the CLI can set by name: what each one holds and which display rule its change
// runs, so that "NAME=VALUE" does what the same change in the window does.

#include "netconfig/PageControls.h"

#include <QList>
#include <QString>
#include <functional>

template <typename TPage> struct TPageField {
    enum Kind { Text, Number, Check, List, Baud };
    QString Name;
    Kind FieldKind = Text;
    std::function<TEditState &(TPage &)> Edit;
    std::function<TCheckState &(TPage &)> Box;
    std::function<TComboState &(TPage &)> Combo;
    std::function<void(TPage &)> Changed; // the display rule of the control, if any
    QString Help;
};

// One NAME=VALUE argument checked against a field list; raises TUsageError naming the allowed
// values. Returns the old and new value as shown to the user.
template <typename TPage>
std::pair<QString, QString> ApplyPageField(TPage &page, const QList<TPageField<TPage>> &fields,
                                           const QString &assignment);
template <typename TPage> QString PageFieldsHelp(const TPage &page, const QList<TPageField<TPage>> &fields);
template <typename TPage>
const TPageField<TPage> *FindPageField(const QList<TPageField<TPage>> &fields, const QString &name);

struct TQ2Page;
struct TQ1Page;
const QList<TPageField<TQ2Page>> &Q2PageFields();
const QList<TPageField<TQ1Page>> &Q1PageFields();

#include "app/cli/CliFieldsImpl.h"
