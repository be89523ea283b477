#pragma once
// The upper half of the left column, rzpgcntrl_Srch: the LAN tab with the device list, the
// address field of a search by address, keep searching and the search button, and the COM tab
// with the port and baud-rate lists and the serial read button.

#include <QComboBox>
#include <QTabWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TDeviceListView;
class TFixedTabBar;

// A drop-down list that says when it is about to open and when it has closed.
class TDropDownComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

signals:
    void DropDown();
    void CloseUp();
};

class TSearchColumn : public QTabWidget {
    Q_OBJECT
public:
    enum { TabNet = 0, TabCom = 1 };
    // Width of the column with the design font; wider only when its texts need it.
    static constexpr int DesignWidth = 417;

    explicit TSearchColumn(QWidget *parent = nullptr);

    TDeviceListView *lv_Dev;
    // Addresses to search instead of the broadcast (empty: broadcast).
    QLabel *lbl_SearchRange;
    QLineEdit *edt_SearchRange;
    // Keep searching, until the list holds edt_KeepSearchCount modules (0: until unticked).
    QCheckBox *chk_KeepSearch;
    QLabel *lbl_KeepSearchCount;
    QSpinBox *edt_KeepSearchCount;
    QPushButton *btn_Search;
    QLabel *lbl_SelectCom;
    TDropDownComboBox *cbb_SelectCom;
    QLabel *lbl1;
    QComboBox *cbbSoftBitRate;
    QPushButton *btn_ComRead;
    QLabel *lblQNum;
    QRadioButton *rbQ1, *rbQ2, *rbQ3;

    TFixedTabBar *Tabs() const { return FTabs; }
    // The serial model: 1, 2 or 3 for the checked radio button, 1 when none is.
    int QNum() const;
    // 2 and 3 check their button, any other value rbQ1.
    void SetQNum(int value);
    // Keeps the column at its design width, or wider when the texts of the language need it.
    void FitWidth();

private:
    TFixedTabBar *FTabs;
};
