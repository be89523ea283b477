#pragma once
// Base of the parameter page views: the controls of a page are bound to the states of its model;
// any change of a control reads the whole page into the model, runs the model's rule for that
// control and shows the whole model again.

#include "gui/PageWidgets.h"

#include <QWidget>
#include <functional>

class TPageView : public QWidget {
public:
    // Model -> widgets: texts, items, selection, check marks, visible, enabled, grey labels.
    void ShowModel();
    // Widgets -> model: what the user can change (texts, selections, check marks).
    void ReadModel();

protected:
    explicit TPageView(QWidget *parent) : QWidget(parent) {}
    // Runs after every ShowModel (the Q2 page lays out its stack again).
    virtual void AfterShow() {}

    // Controls bound to a model state; rule runs when the user changes the control.
    QLineEdit *Edit(QWidget *parent, const char *name, TEditState &state);
    QComboBox *Combo(QWidget *parent, const char *name, TComboState &state, std::function<void()> rule = {});
    QCheckBox *Check(QWidget *parent, const char *name, const QString &caption, TCheckState &state,
                     std::function<void()> rule = {});
    // A label of a bound field: shown with the field, grey by its state when it has one.
    QLabel *Label(QWidget *parent, const char *name, const QString &caption, QWidget *field, const TLabelState *state,
                  const bool *fieldVisible);
    // The parity, data-bits and stop-bits lists of a serial port side by side in one field (the
    // panel), parity the widest; returns the panel, and the parity list for its label.
    QWidget *SerialBitsRow(QWidget *parent, const char *panel, const char *parity, const char *data,
                           const char *stop, TComboState &p, TComboState &d, TComboState &s, QComboBox *&parityList);
    // Controls that only exist for their names (texts and hints of the table), always hidden.
    QLineEdit *HiddenEdit(QWidget *parent, const char *name);
    QCheckBox *HiddenCheck(QWidget *parent, const char *name, const QString &caption);
    QLabel *HiddenLabel(QWidget *parent, const char *name, const QString &caption, QWidget *field);

    void Watch(QWidget *control, std::function<void()> rule = {});
    void Changed(const std::function<void()> &rule);

    TPageBinder FBind;

private:
    bool FShowing = false;
};
