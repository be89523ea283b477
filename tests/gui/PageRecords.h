#pragma once
// Replies of a Q2 module as they come off the wire, and what the hub does with them: decode with
// the core's decoders and run the page model's fill handlers.

#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Public.h"
#include "netconfig/Codecs.h"
#include "netconfig/Q2Page.h"

#include <QByteArray>
#include <cstring>

struct TQ2Replies {
    // 130-byte read reply: base block then port block.
    QByteArray Read = Hex("11 22 33 90 6D 07 50 00 44 07 00 A8 C0 01 00 A8 C0 00 FF FF FF"
                          "4C 61 62 2D 51 32 00 00 00 00 00 00 00 00 00 00" // "Lab-Q2"
                          "61 64 6D 69 6E 00"                               // "admin"
                          "31 32 33 34 35 00"                               // "12345"
                          "55 66 77 90 00 1A 2B 3C 4D 5E 08 08 08 08 03 88 99 AA"
                          // Port block.
                          "00 C2 01 00 08 01 01 01 00 00 00 00 8C 4E 2A 20"
                          "31 39 32 2E 31 36 38 2E 30 2E 32 30 31 00 00 00 00 00 00 00" // "192.168.0.201"
                          "00 00 00 00 00 00 00 00 00 00"
                          "12 34 56 78 08 03 00 04 00 00 00 9A 01 90 01 0A 00");
    QByteArray Cloud = QByteArray(LenCloud, '\0');
    QByteArray Heart = QByteArray(LenHeartReg, '\0');
    QByteArray Httpd = QByteArray(LenHttpd, '\0');
    QByteArray Modbus;                // 1 or 4 bytes, empty: not sent
    QByteArray ModbusPack, ModbusNew; // empty: not sent

    static constexpr int Port = LenBase; // offset of the port block in the read reply

    // Port block fields by their byte positions.
    void SetBaud(uint32_t baud)
    {
        for (int i = 0; i < 4; ++i)
            Read[Port + i] = char((baud >> (8 * i)) & 0xFF);
    }
    void SetWorkMode(int mode) { Read[Port + 51] = char(mode); }
    void SetIsT0(bool on) { Read[3] = char((uint8_t(Read[3]) & ~0x01) | (on ? 0x01 : 0)); }
    void SetAddrStatic(bool on) { Read[3] = char((uint8_t(Read[3]) & ~0x80) | (on ? 0x80 : 0)); }
    void SetPortOption(uint8_t bit, bool on)
    {
        Read[Port + 50] = char(on ? (uint8_t(Read[Port + 50]) | bit) : (uint8_t(Read[Port + 50]) & ~bit));
    }
    void SetUserRegister(bool on) { Read[Port + 56] = char(on ? 1 : 0); }

    // Heartbeat/register block: flag byte, time, and the two data fields.
    void SetHeart(uint8_t flags, int seconds, const QByteArray &heart, const QByteArray &reg)
    {
        Heart.fill('\0');
        Heart[0] = char(flags);
        Heart[1] = char(seconds & 0xFF);
        Heart[2] = char((seconds >> 8) & 0xFF);
        Heart[3] = char(heart.size());
        Heart[4] = char(reg.size());
        Heart.replace(5, int(heart.size()), heart);
        Heart.replace(45, int(reg.size()), reg);
    }
    void SetHttpd(const QByteArray &url, const QByteArray &header)
    {
        Httpd.fill('\0');
        Httpd[0] = char(url.size());
        Httpd.replace(1, int(url.size()), url);
        Httpd[101] = char(header.size());
        Httpd.replace(102, int(header.size()), header);
    }
    void SetCloud(const QByteArray &deviceId, const QByteArray &code)
    {
        Cloud.fill('\0');
        Cloud.replace(2, int(deviceId.size()), deviceId);
        Cloud.replace(22, int(code.size()), code);
    }

    static const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

    // The read events in the order the endpoint raises them, as if over the serial line (no list
    // row to match); returns what the fill logged.
    TRecorderSink FeedInto(TQ2Page &page) const
    {
        TRecorderSink log;
        const TBaseParam base = DecodeBaseParam(U(Read));
        const TPortParam port = DecodePortParam(U(Read) + Port);
        page.OnReadParam(base, TarrComParam{port}, true, ModelQ2, QString(), log);
        page.OnReadCloud(TarrCloudParam{DecodeCloudParam(U(Cloud))}, true, ModelQ2);
        page.OnReadHeartReg(U(Heart), true, ModelQ2);
        const THttpdParam httpd = DecodeHttpdParam(U(Httpd));
        page.OnReadHttpd(httpd.Url, httpd.Header);
        if (!Modbus.isEmpty()) page.OnModbusParam(DecodeModbusParam(U(Modbus), int(Modbus.size())), int(Modbus.size()));
        if (!ModbusPack.isEmpty()) page.OnModbusPackParam(DecodeModbusPackParam(U(ModbusPack)));
        if (!ModbusNew.isEmpty()) page.OnModbusNewParam(DecodeModbusNewParam(U(ModbusNew)));
        return log;
    }

    // Every group in use: network heartbeat with user data in hex, user register packet sent with
    // connection and data, the three Modbus blocks, work mode HTTPD Client.
    static TQ2Replies Full()
    {
        TQ2Replies r;
        r.SetWorkMode(4);
        r.SetPortOption(0x80, false); // user heartbeat, not the MAC
        r.SetUserRegister(true);
        r.SetHeart(0x01 | 0x04 | 0x08 | 0x40, 60, QByteArray("ping"), QByteArray("REG:001A2B3C4D5E"));
        r.SetHttpd("/report.php?id=7", "Accept: text/html\r\nX-Node: lab");
        r.SetCloud("00000000000000000001", "12345678");
        r.Modbus = Hex("01 01 01 F4");
        r.ModbusPack = QByteArray(LenModbusPack, '\0');
        r.ModbusPack.replace(0, 7, Hex("02 01 03 E8 00 64 01"));
        r.ModbusNew = QByteArray(LenModbusNew, '\0');
        r.ModbusNew.replace(0, 6, Hex("02 01 01 F4 00 32"));
        return r;
    }
};
