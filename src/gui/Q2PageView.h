#pragma once
// The Q2 parameter page: its groups stacked in the scroll box ScrollBox1, the button bar below.
// A view of a TQ2Page: ShowModel copies the whole model into the widgets, ReadModel the user's
// entries back; a change of any control reads the page, runs the model's rule for that control
// and shows the model again.

#include "gui/PageView.h"

struct TQ2Page;
class QPushButton;
class QScrollArea;

class TQ2PageView : public TPageView {
    Q_OBJECT
public:
    explicit TQ2PageView(TQ2Page &model, QWidget *parent = nullptr);
    ~TQ2PageView() override;

    TQ2Page &Model() const { return FModel; }

    // After the window's texts have been applied (creation and every language switch): the lists
    // that steer other controls run their rules again and the page is laid out for the new widths.
    void AfterTextsApplied();

    // The search column's tab: the COM tab writes over the serial line and has no network-only
    // controls, the LAN tab writes over the network. Sets the model's tab and shows it.
    void SetComTab(bool com);

    // The page comes into view (ShowPage with PageQ2): the visible groups are stacked again and the
    // scroll box shows the first of them.
    void RestackFromTop();

    QScrollArea *ScrollBox() const { return FScroll; }
    QPushButton *NetSetButton() const { return FNetSet; }
    QPushButton *ComSetButton() const { return FComSet; }
    // btn_ApplySelected: the page's changed fields to the selected modules (LAN tab only).
    QPushButton *ApplySelectedButton() const { return FApplySelected; }

signals:
    void SaveNetClicked(); // btn_Q2NetSet
    void SaveComClicked(); // btn_Q2ComSet

protected:
    void AfterShow() override;
    // A wheel turn anywhere over the scroll box scrolls it one line, whichever control is under
    // the cursor or has the focus.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TQ2Page &FModel;
    QScrollArea *FScroll = nullptr;
    QWidget *FStack = nullptr;
    QPushButton *FNetSet = nullptr;
    QPushButton *FComSet = nullptr;
    QPushButton *FApplySelected = nullptr;

    // The groups, in Q2PageGroups.cpp.
    QGroupBox *buildBase();
    QGroupBox *buildPort();
    QGroupBox *buildHeart();
    QGroupBox *buildRegister();
    QGroupBox *buildModbusNew();
    QGroupBox *buildModbusPack();
    QGroupBox *buildModbus();
    QGroupBox *buildHttpd();
};
