#pragma once
// The right column, rzpgcntrl_Param: the Q1 page (rztbsht_Q1, index 0) and the Q2 page
// (rztbsht_Q3, index 1). The tab row is never shown; the main window picks the page.

#include <QTabWidget>

class QVBoxLayout;

class TParamArea : public QTabWidget {
    Q_OBJECT
public:
    enum { IndexQ1 = 0, IndexQ2 = 1 };
    // Width of the column with the design font; wider only when a page needs it.
    static constexpr int DesignWidth = 528;

    explicit TParamArea(QWidget *parent = nullptr);

    QWidget *rztbsht_Q1;
    QWidget *rztbsht_Q3;
    // Where the page views go.
    QVBoxLayout *Q1Layout() const { return FQ1Layout; }
    QVBoxLayout *Q2Layout() const { return FQ2Layout; }

    void FitWidth();

private:
    QVBoxLayout *FQ1Layout;
    QVBoxLayout *FQ2Layout;
};
