#include "gui/ParamArea.h"

#include <QTabBar>
#include <QVBoxLayout>

TParamArea::TParamArea(QWidget *parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("rzpgcntrl_Param"));
    rztbsht_Q1 = new QWidget;
    rztbsht_Q1->setObjectName(QStringLiteral("rztbsht_Q1"));
    rztbsht_Q3 = new QWidget;
    rztbsht_Q3->setObjectName(QStringLiteral("rztbsht_Q3"));
    FQ1Layout = new QVBoxLayout(rztbsht_Q1);
    FQ2Layout = new QVBoxLayout(rztbsht_Q3);
    for (QVBoxLayout *l : {FQ1Layout, FQ2Layout})
        l->setContentsMargins(0, 0, 0, 0);
    addTab(rztbsht_Q1, QStringLiteral("Q1"));
    addTab(rztbsht_Q3, QStringLiteral("Q2"));
    tabBar()->hide();
    FitWidth();
}

void TParamArea::FitWidth() { setFixedWidth(qMax(DesignWidth, minimumSizeHint().width())); }
