#pragma once
// The COM tab of the search column and the three serial buttons. Owns the serial session on the
// main window's port component and the serial protocol on the page models; the main window hands
// it the clicks of the serial buttons and tells it when the COM tab is chosen. Every rule (the
// session, the frames, the fills, the port list, the custom baud rate) is the core's: this only
// copies the tab's widgets into them and their results back into the window.

#include "netconfig/PageBinding.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ILogSink;
class TComm;
class TSearchColumn;
class TSerialProtocol;
class TSerialSession;
struct TQ1Page;
struct TQ2Page;

class TSerialTab : public QObject {
    Q_OBJECT
public:
    // comm (set up with ApplyCm1Properties), log, the models and the column must outlive this.
    // Fills cbbSoftBitRate and takes over cbb_SelectCom's drop-down and close-up.
    TSerialTab(TComm &comm, ILogSink &log, TQ2Page &q2, TQ1Page &q1, TSearchColumn *column, QObject *parent = nullptr);
    ~TSerialTab() override;

    // What the window does for the tab, each skipped while empty.
    std::function<void(int mode)> ShowPage; // a reply shows its page (PageQ1, PageQ2)
    std::function<void()> RefreshPages;     // models -> page widgets, after a reply or write changed them
    std::function<void()> ReadPages;        // page widgets -> models, before a write
    std::function<void()> ClearPanes;       // the read clears both panes first
    std::function<void(const QString &)> ShowMessage; // a write the page's checks refused
    // What filled each page: a serial read binds its page, a write goes only to what the page was
    // read from. The window points these at its own; until then the tab keeps its own.
    TPageBinding *Q2Binding = &FOwnQ2Binding;
    TPageBinding *Q1Binding = &FOwnQ1Binding;

    // A click of a window button: true when it was one of the serial buttons (btn_ComRead,
    // btn_ComSet, btn_Q2ComSet), which then ran its exchange. A serial button clicked while an
    // exchange still listens is taken and ignored: a second session would close the port under
    // the first. The read asks the model of the radio buttons first (Q2 after start), then the
    // other kind; a write whose page was not read over the line sends nothing, says why in red
    // and hides the page.
    bool Click(QObject *button);
    // The COM tab was chosen: the port list refilled, the port chosen before kept while it is
    // listed, else the first selected.
    void TabChosen();

    // The model the serial page works with, by the checked radio button: rbQ1 (also when none
    // is checked) ModelQ1, rbQ2 ModelQ2, rbQ3 ModelQ3.
    int SerialModel() const;
    bool Busy() const { return FBusy; }

    // Handlers of the tab's lists.
    void cbb_SelectComDropDown();
    void cbb_SelectComCloseUp();
    void cbbSoftBitRateClick();

    TSerialSession &Session() { return *FSession; }
    TSerialProtocol &Protocol() { return *FProtocol; }

private:
    TSearchColumn *FColumn;
    std::unique_ptr<TSerialSession> FSession;
    std::unique_ptr<TSerialProtocol> FProtocol;
    bool FBusy = false;
    TPageBinding FOwnQ2Binding, FOwnQ1Binding;

    // The port and baud rate of the tab, into the session before each exchange.
    void takeLineChoice();
    void run(const std::function<void()> &exchange);
};
