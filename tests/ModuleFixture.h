#pragma once
// A Q2 module's replies fed through a session into its page, as the window's are: the module's
// record (the templates of a write) and the page it edits, for tests of profiles and verified
// writes.

#include "RecorderSink.h"
#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/Codecs.h"
#include "netconfig/DeviceList.h"
#include "netconfig/LanSession.h"
#include "netconfig/Q2Page.h"
#include "netconfig/UdpSvr.h"

struct TModuleShape {
    int Version = 4017;
    int WorkMode = 3;
    int Modbus = 4; // 0 none, 1 or 4 bytes
    bool Pack = true, Fresh = true, Heart = true, Httpd = true;
    bool IsT0 = false;
    int ModbusType = 0, PollMode = 0;
};

struct TModuleFixture {
    TRecorderSink Log;
    TLanSession Session{Log};
    TUdpSvr &Svr = Session.Svr();
    TQ2Page Page;
    QString Mac = QStringLiteral("00 1A 2B 3C 4D 5E");
    TDeviceRow Row;
    TModuleRecord *Module = nullptr;

    explicit TModuleFixture(const TModuleShape &s = {})
    {
        Row = {QStringLiteral("10.0.0.7"), QStringLiteral("Lab-Q2"), Mac, QString::number(s.Version), ModelQ2, 0, {}};
        Module = &Session.RecordOf(Row);
        Session.Page = &Page;
        Session.SetPageModule(Mac);
        Page.HideModbusGroups();

        QByteArray read(LenRead, '\0');
        auto *r = reinterpret_cast<uint8_t *>(read.data());
        TBaseParam b;
        b.AddrType = 1;
        b.IsT0 = s.IsT0;
        b.UpnpPort = 1901;
        b.HttpPort = 80;
        b.StaticIP = QStringLiteral("10.0.0.7");
        b.GatewayIP = b.Dns = QStringLiteral("10.0.0.1");
        b.SubnetMask = QStringLiteral("255.255.255.0");
        b.ModName = QStringLiteral("Lab-Q2");
        b.UserName = b.Password = QStringLiteral("tovak");
        b.Options = 0x90;
        b.UserMAC = Mac;
        b.ShortConnTime = 3;
        EncodeBaseParam(b, r, 0x02);
        TPortParam p;
        p.Baudrate = 115200;
        p.DataBits = 8;
        p.Parity = p.StopBits = p.FlowControl = 1;
        p.LocalPort = 20108;
        p.RemotePort = 8234;
        p.RemoteIP = QStringLiteral("10.0.0.201");
        p.Rfc2217 = 1;
        p.WorkMode = s.WorkMode;
        p.TcpSvrCount = 4;
        p.PackLen = 400;
        p.PackTime = 10;
        EncodePortParam(p, r + LenBase, 0x01);
        feed(read);
        if (s.Heart) {
            QByteArray h(LenHeartReg, '\0');
            THeartRegParam hp;
            hp.RegMode = 0;
            hp.HeartTime = 30;
            hp.HeartData = QStringLiteral("ping");
            hp.RegData = QStringLiteral("reg1");
            EncodeHeartRegParam(hp, reinterpret_cast<uint8_t *>(h.data()));
            feed(h);
        } else {
            // Checked even though an older module is never sent them: typed in as a user must.
            Page.edtHeartTm.Text = QStringLiteral("0");
            Page.edtHeartDt.Text = Page.edtRegDt.Text = QStringLiteral("x");
        }
        if (s.Httpd) {
            QByteArray h(LenHttpd, '\0');
            EncodeHttpdUrl(QStringLiteral("/report"), reinterpret_cast<uint8_t *>(h.data()));
            EncodeHttpdHeader(QStringLiteral("Accept: */*"), reinterpret_cast<uint8_t *>(h.data()));
            feed(h);
        } else {
            Page.LabeledEdit2.Text = Page.RzRichEdit1.Text = QStringLiteral("x");
        }
        if (s.Modbus == 1)
            feed(QByteArray(1, '\0'));
        if (s.Modbus == 4)
            feed(QByteArray::fromHex("000101F4"));
        if (s.Pack) {
            QByteArray m(LenModbusPack, '\0');
            m[0] = char(s.ModbusType);
            m[3] = char(200);
            m[5] = 10;
            feed(m);
        }
        if (s.Fresh) {
            QByteArray m(LenModbusNew, '\0');
            m[0] = char(s.PollMode);
            m[3] = char(200);
            m[5] = 10;
            feed(m);
        }
        CurMac = RemoveSpaces(Mac);
        CurBindingIndex = 0;
    }

    void feed(const QByteArray &d) { Svr.UDPRead(d, QStringLiteral("10.0.0.7"), DevPortQ2, QStringLiteral("10.0.0.1"), 4000, 0); }
};

// Language table for texts in messages; English.
struct TLangScope {
    TLangScope()
    {
        InitLanguage(QString());
        LangList->IsChinese = false;
    }
    ~TLangScope() { FreeLanguage(); }
};
