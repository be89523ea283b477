#pragma once
// What a module model is, in one table: its code and name, the UDP port its reads go to and its
// answers come from, the editor page its parameters fill over the LAN and over the serial line,
// its serial read request, what it takes over the network, and the firmware thresholds. Every
// decision that depends on the model asks this table.

#include "core/Public.h"

#include <QList>
#include <QString>
#include <cstdint>

struct TModelInfo {
    int Code = ModelNone;
    QString Name;             // "Q2", "Q3", "Q1", "unknown"
    int LanPort = 0;          // read and factory reset go here, answers come from here; 0: not on the LAN
    int LanPage = PageNone;   // the page a read over the LAN fills
    int SerialPage = PageNone; // the page a serial read fills
    uint8_t SerialRead = ComReadQ1; // the serial read request
    bool LanWrite = false;    // its parameters are written over the network
    bool LanReset = false;    // factory settings over the network
    int MinVersion = 0;       // a search reply below this version is of no model the tool knows
    int HeartHttpdFrom = 0;   // firmware from which it has the heartbeat/register and Httpd blocks; 0: never

    bool OnLan() const { return LanPort != 0; }
    // The page a read fills, over the serial line or the LAN.
    int PageOf(bool fromCom) const { return fromCom ? SerialPage : LanPage; }
    bool HasHeartHttpd(int version) const { return HeartHttpdFrom > 0 && version >= HeartHttpdFrom; }
};

// Firmware from which a Q2 module has the heartbeat/register and Httpd blocks.
constexpr int FirmwareHeartHttpd = 4017;

// Every model, ModelNone first.
const QList<TModelInfo> &ModelTable();
// The row of a model code; an unknown code gives the ModelNone row.
const TModelInfo &ModelInfo(int code);
// The row named "q2", "Q3" ...; nullptr for another name.
const TModelInfo *ModelByName(const QString &name);
// Model of a search reply: by the reply's source port, ModelNone below the model's minimum version.
int ModelOfReply(int version, int peerPort);
// Model of any other reply: by its source port alone.
int ModelOfPort(int peerPort);
