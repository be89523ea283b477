#pragma once
// What filled a parameter page: the module (its MAC), its firmware and the line it was read over.
// A save goes only to the module the page was read from, over the same line: a page that still
// shows module A while module B is selected (B's read failed, or B answered nothing) must never
// write A's name, address and MAC into B, and a page read over the LAN is never written over the
// serial line to whatever module is on the cable, nor the reverse.

#include <QString>

struct TDeviceRow;

enum class TPageSource { None, Lan, Serial };

struct TPageBinding {
    TPageSource Source = TPageSource::None;
    QString Mac;      // twelve upper-case hex digits; empty when the read named none (Q1/Q3 fields)
    int Model = 0;    // ModelQ1, ModelQ2, ModelQ3; 0 while nothing was read
    int Firmware = 0; // the version the device list shows for the module; 0 over the serial line

    // A read over the LAN filled the page: the row's MAC (any spacing), model and version.
    static TPageBinding Lan(const QString &mac, int model, int firmware);
    // A read over the serial line filled the page; mac from the module's base block, if it sent one.
    static TPageBinding Serial(int model, const QString &mac = QString());
    bool operator==(const TPageBinding &) const = default;
};

enum class TSaveRefusal {
    None,
    NotRead,         // the page holds nothing read from a module
    ReadOverSerial,  // a LAN save of a page read over the serial line
    ReadOverLan,     // a serial save of a page read over the LAN
    OtherModule,     // the page shows another module than the selected row
    OtherModel,      // the page was read from a module of another model
    FirmwareChanged, // the row's firmware is not the one the page was read from
    BlocksReplaced,  // the blocks a write starts from are now another module's
};

struct TSaveCheck {
    TSaveRefusal Refusal = TSaveRefusal::None;
    bool Allowed() const { return Refusal == TSaveRefusal::None; }
};

// May the page go to the selected row over the LAN? templateMac: the MAC in the base block the
// write starts from (the endpoint keeps the last one any module sent), any spacing.
TSaveCheck CheckLanSave(const TPageBinding &page, const TDeviceRow &row, const QString &templateMac);
// May the page go over the serial line as a write for this model (Q1 and Q3 share one page)?
TSaveCheck CheckSerialSave(const TPageBinding &page, int model);

// The red log line for a refusal, in the current language; names the page's module when known.
QString SaveRefusalText(TSaveRefusal refusal, const TPageBinding &page);
