#pragma once
// The Q1 parameter page (Q1 and Q3 modules over the serial line): grp_Param, grp_Special and the
// write button, btn_Q1Set on the LAN tab and btn_ComSet in its place on the COM tab.

#include "gui/PageView.h"

struct TQ1Page;
class QPushButton;

class TQ1PageView : public TPageView {
    Q_OBJECT
public:
    explicit TQ1PageView(TQ1Page &model, QWidget *parent = nullptr);

    TQ1Page &Model() const { return FModel; }

    // After the window's texts have been applied: the label columns line up for the new widths and
    // the model is shown again (list items in the new language).
    void AfterTextsApplied();

    // Exactly one of the two buttons shows: btn_ComSet on the COM tab, btn_Q1Set on the LAN tab.
    void SetComTab(bool com);

    QPushButton *Q1SetButton() const { return FQ1Set; }
    QPushButton *ComSetButton() const { return FComSet; }

signals:
    void Q1SetClicked();  // btn_Q1Set
    void ComSetClicked(); // btn_ComSet

private:
    TQ1Page &FModel;
    QPushButton *FQ1Set = nullptr;
    QPushButton *FComSet = nullptr;
};
