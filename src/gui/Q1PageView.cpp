#include "gui/Q1PageView.h"

#include "gui/BaudInput.h"
#include "gui/TextTable.h"
#include "netconfig/Q1Page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TQ1PageView::TQ1PageView(TQ1Page &model, QWidget *parent) : TPageView(parent), FModel(model)
{
    setObjectName(QStringLiteral("Q1PageView"));
    TQ1Page &m = FModel;
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);
    page->setSpacing(6);

    // Captions given here are the design texts; the text table replaces those it has keys for.
    QGroupBox *param = MakeGroup(this, "grp_Param", QStringLiteral("General functions"));
    {
        TFieldGrid grid(param);
        QComboBox *work = Combo(param, "cbb_ModuleWork", m.cbb_ModuleWork, [&m] { m.ModuleWorkChange(); });
        grid.Field(
            0, Label(param, "lbl_ModuleWork", QStringLiteral("Work Mode"), work, nullptr, &m.cbb_ModuleWork.Visible),
            work);
        QComboBox *baud =
            Combo(param, "cbb_BaudRate", m.cbb_BaudRate, [this, &m] { AskCustomBaud(this, m.cbb_BaudRate); });
        grid.Field(1, Label(param, "lbl_BaudRate", QStringLiteral("BaudRate"), baud, nullptr, &m.cbb_BaudRate.Visible),
                   baud);
        grid.NextRow();

        QComboBox *parity = nullptr;
        QWidget *pds = SerialBitsRow(param, "pnl_PDS", "cbb_P", "cbb_D", "cbb_S", m.cbb_P, m.cbb_D, m.cbb_S, parity);
        grid.WideField(Label(param, "lbl_PDS", QStringLiteral("Parity/Data/Stop"), parity, nullptr, &m.cbb_P.Visible),
                       pds);
        grid.NextRow();

        QLineEdit *ip = Edit(param, "edt_ModuleIP", m.edt_ModuleIP);
        grid.Field(0, Label(param, "lbl_ModuleIP", QStringLiteral("Module IP"), ip, nullptr, &m.edt_ModuleIP.Visible),
                   ip);
        QLineEdit *port = Edit(param, "edt_ModulePort", m.edt_ModulePort);
        grid.Field(
            1, Label(param, "lbl_ModulePort", QStringLiteral("Local Port"), port, nullptr, &m.edt_ModulePort.Visible),
            port);
        grid.NextRow();

        QLineEdit *mask = Edit(param, "edt_Mask", m.edt_Mask);
        grid.Field(0, Label(param, "lbl_Mask", QStringLiteral("SubnetMask"), mask, nullptr, &m.edt_Mask.Visible), mask);
        QLineEdit *gateway = Edit(param, "edt_Gateway", m.edt_Gateway);
        grid.Field(1, Label(param, "lbl_Gateway", QStringLiteral("Gateway"), gateway, nullptr, &m.edt_Gateway.Visible),
                   gateway);
        grid.NextRow();

        QLineEdit *deIp = Edit(param, "edt_DeIP", m.edt_DeIP);
        grid.Field(0,
                   Label(param, "lbl_DeIP", QStringLiteral("Destination IP"), deIp, &m.lbl_DeIP, &m.edt_DeIP.Visible),
                   deIp);
        QLineEdit *dePort = Edit(param, "edt_DePort", m.edt_DePort);
        grid.Field(
            1, Label(param, "lbl_DePort", QStringLiteral("Remote Port"), dePort, &m.lbl_DePort, &m.edt_DePort.Visible),
            dePort);
    }
    page->addWidget(param);

    QGroupBox *special = MakeGroup(this, "grp_Special", QStringLiteral("Expand functions"));
    {
        TFieldGrid grid(special);
        QLineEdit *id = Edit(special, "edt_ID", m.edt_ID);
        grid.Field(0, Label(special, "lbl_ID", QStringLiteral("Device ID"), id, nullptr, &m.edt_ID.Visible), id);
        // A caption of older module generations, kept for its name only.
        grid.Single(1, HiddenLabel(special, "lbl_IdTypeq1", QStringLiteral("Device ID Type"), nullptr));
        grid.NextRow();
        grid.Single(0, Check(special, "chk_ConnSendId", QStringLiteral("Send ID When Connected"), m.chk_ConnSendId));
        grid.Single(1, Check(special, "chk_DataWithId", QStringLiteral("Send ID With Data"), m.chk_DataWithId));
        grid.NextRow();
        auto *options = new QWidget(special);
        options->setObjectName(QStringLiteral("pnl_Q1Options"));
        auto *row = new QHBoxLayout(options);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(Check(options, "chk_RS485", QStringLiteral("RS485"), m.chk_RS485));
        row->addWidget(Check(options, "chk_RS422", QStringLiteral("RS422"), m.chk_RS422));
        row->addWidget(Check(options, "chk_Reset", QStringLiteral("Reset"), m.chk_Reset));
        row->addWidget(Check(options, "chk_Link", QStringLiteral("Link"), m.chk_Link));
        row->addWidget(Check(options, "chk_Index", QStringLiteral("Index"), m.chk_Index));
        row->addWidget(Check(options, "chk_RFC2217", QStringLiteral("RFC2217"), m.chk_RFC2217));
        row->addStretch();
        grid.Span(options);
    }
    page->addWidget(special);
    page->addStretch(1);

    // The two write buttons share one place; the tab decides which one shows.
    auto *bar = new QHBoxLayout;
    bar->addStretch();
    FQ1Set = new QPushButton(QStringLiteral("Save Config"), this);
    FQ1Set->setObjectName(QStringLiteral("btn_Q1Set"));
    FComSet = new QPushButton(QStringLiteral("Save Config"), this);
    FComSet->setObjectName(QStringLiteral("btn_ComSet"));
    for (QPushButton *b : {FQ1Set, FComSet}) {
        b->setMinimumWidth(110);
        bar->addWidget(b);
    }
    FComSet->hide();
    page->addLayout(bar);
    connect(FQ1Set, &QPushButton::clicked, this, &TQ1PageView::Q1SetClicked);
    connect(FComSet, &QPushButton::clicked, this, &TQ1PageView::ComSetClicked);

    ShowModel();
    ApplyTextRows(this, MainTextRows);
    AfterTextsApplied();
}

void TQ1PageView::AfterTextsApplied()
{
    AlignLabelColumns(this);
    ShowModel();
}

void TQ1PageView::SetComTab(bool com)
{
    FComSet->setVisible(com);
    FQ1Set->setVisible(!com);
}
