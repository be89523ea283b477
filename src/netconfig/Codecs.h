#pragma once
// Byte layouts of the parameter blocks: decoders to the records and encoders that write a record
// into the last block of the same kind (the template), keeping every byte they do not own.

#include "core/Public.h"

#include <QString>
#include <cstdint>

// Heartbeat/register block (85 bytes) as a record.
struct THeartRegParam {
    int HeartMode = 0;            // 0 none, 1 serial (flag bit 1), 2 network (flag bit 0)
    int RegMode = -1;             // bits 2/3: 0 connect, 1 data, 2 both, -1 neither
    bool RemoveHttpdHead = false; // bit 4
    bool ComSetEnable = false;    // bit 5
    bool HeartHex = false;        // bit 6: heartbeat data given in hex
    bool RegHex = false;          // bit 7: register data given in hex
    int HeartTime = 0;            // seconds, LE16
    QString HeartData;            // hex digits when HeartHex, else the text
    QString RegData;              // hex digits when RegHex, else the text
};

struct THttpdParam {
    QString Url;
    QString Header;
};

// A module's answer to the search (36 bytes).
struct TSearchReply {
    QString IP;      // dotted quad, first octet first (bytes 5..8)
    QString Mac;     // six spaced upper-case pairs (bytes 9..14)
    int Version = 0; // firmware, little-endian (bytes 15..16)
    QString Name;    // 14 bytes as stored, zero bytes kept (bytes 19..32)
};

constexpr int HeartDataMax = 40;
constexpr int HttpdUrlMax = 100;
constexpr int HttpdHeadMax = 200;

// Result of an encoder: Ok, or the field whose text did not convert (the encoder stopped there,
// or for hex data, wrote as far as the text allowed).
struct TEncodeResult {
    bool Ok = true;
    QString Field;
    explicit operator bool() const { return Ok; }
    static TEncodeResult Fail(const QString &field) { return {false, field}; }
};

// False unless the datagram is 36 bytes starting FF 24 01.
bool IsSearchReply(const QByteArray &datagram);
// A search reply's fields; call only on a datagram IsSearchReply accepts.
TSearchReply DecodeSearchReply(const QByteArray &datagram);
TBaseParam DecodeBaseParam(const uint8_t *block);   // 67 bytes
TPortParam DecodePortParam(const uint8_t *block);   // 63 bytes
TCloudParam DecodeCloudParam(const uint8_t *block); // 50 bytes
THeartRegParam DecodeHeartRegParam(const uint8_t *block); // 85 bytes, lengths capped at 40
THttpdParam DecodeHttpdParam(const uint8_t *block); // 302 bytes, counts capped at 100 / 200
TModbusParam DecodeModbusParam(const uint8_t *block, int length); // 1 or 4 bytes
TModbusPackParam DecodeModbusPackParam(const uint8_t *block);     // 87 bytes
TModbusNewParam DecodeModbusNewParam(const uint8_t *block);       // 100 bytes

// Base block: byte 3 starts from lastOptByte; IP and MAC texts may fail to convert.
TEncodeResult EncodeBaseParam(const TBaseParam &p, uint8_t *block, uint8_t lastOptByte);
// Port block: byte 50 keeps bits 0..1 of lastPortOptByte.
TEncodeResult EncodePortParam(const TPortParam &p, uint8_t *block, uint8_t lastPortOptByte);
// Heartbeat/register block; a hex text with a non-hex pair fills its field only that far.
TEncodeResult EncodeHeartRegParam(const THeartRegParam &p, uint8_t *block);
// Httpd parts: URL into bytes 0..100, header into bytes 101..301 of the 302-byte block.
void EncodeHttpdUrl(const QString &url, uint8_t *block);
void EncodeHttpdHeader(const QString &header, uint8_t *block);
// Modbus blocks. The 1-byte block is byte 0 of the 4-byte one.
TEncodeResult EncodeModbusParam(const TModbusParam &p, uint8_t *block4);
TEncodeResult EncodeModbusPackParam(const TModbusPackParam &p, uint8_t *block);
TEncodeResult EncodeModbusNewParam(const TModbusNewParam &p, uint8_t *block);
