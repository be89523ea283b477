#pragma once
// What the tool knows of one module, by its MAC: where it answers from, its model and firmware,
// and the last block of each kind it sent. A write to the module starts from its own blocks, so
// the bytes the tool does not interpret go back as this module sent them.

#include "core/Public.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// The last block of each kind one module sent: the templates of its next write.
struct TModuleTemplates {
    std::array<uint8_t, LenRead> Read{};
    int ReadLen = 0; // LenRead once a read reply came
    std::array<uint8_t, LenCloud> Cloud{};
    std::array<uint8_t, LenHeartReg> HeartReg{};
    std::array<uint8_t, LenHttpd> Httpd{};
    std::array<uint8_t, 4> Modbus4{}; // never filled from a reply
    std::array<uint8_t, LenModbusPack> ModbusPack{};
    std::array<uint8_t, LenModbusNew> ModbusNew{};
    uint8_t OptByte = 0;     // byte 3 of the last read reply
    uint8_t PortOptByte = 0; // byte 117 of the last read reply

    // Keeps a reply of a block length (130, 50, 85, 87, 100, 302); other lengths change nothing.
    void Store(const QByteArray &reply);
    bool HasRead() const { return ReadLen == LenRead; }
};

struct TModuleRecord {
    QString Mac;          // six spaced upper-case pairs, as the list shows it
    QString IP;           // as its search reply says
    QString ReplyIP;      // the address its answers come from (the sender of its search reply)
    int ReplyPort = 0;    // and the port
    int Model = ModelNone;
    int Version = 0;
    int BindingIndex = 0; // the local binding it answered on
    // Where its commands go: the address it answered a search by address from; empty for the
    // broadcast address.
    QString SendTo;
    QByteArray SearchReply;
    TModuleTemplates Templates;

    QString MacDigits() const; // 12 hex digits, as frames want it
};
