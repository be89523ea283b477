#pragma once
// Writing the Q2 page to a module over the network: validation, every block encoded on top of the
// module's last replies, the frames with their pauses, and the restart.

#include "core/LogSink.h"
#include "netconfig/DeviceList.h"
#include "netconfig/Q2Page.h"
#include "netconfig/UdpSvr.h"

#include <QList>
#include <functional>

struct TPlannedFrame {
    uint8_t Cmd = 0;
    QByteArray Payload;   // empty for the restart
    int BindingIndex = 0;
    QString Mac;          // 12 hex digits
    int PauseAfterMs = 0; // blocking pause after the send
};

enum class TQ2WriteStatus { NoRow, WrongModel, Invalid, NotConverted, Ready, Sent };

struct TQ2WritePlan {
    TQ2WriteStatus Status = TQ2WriteStatus::Ready;
    QString Message; // the validation message, or the field that did not convert
    QList<TPlannedFrame> Frames;
    // The templates as the write leaves them (copied into the endpoint when sent).
    QByteArray Read, HeartReg, Httpd, Modbus4, ModbusPack, ModbusNew;
};

// Everything the write would send, in order, without sending. Every block is encoded before the
// first frame goes out, so a text that does not convert sends nothing at all.
TQ2WritePlan PlanQ2Write(const TQ2Page &page, const TUdpSvr &svr, const TDeviceRow *row);

// The whole button: plans, logs a missing row or an unconvertible field in red, then sends each
// frame with its pause. pause(ms) blocks; tests pass one that returns at once.
TQ2WritePlan WriteQ2Network(const TQ2Page &page, TUdpSvr &svr, const TDeviceRow *row, ILogSink &log,
                            const std::function<void(int)> &pause);

// The version column as a number; anything else counts as 0.
int RowVersion(const TDeviceRow &row);

constexpr int BlockPauseMs = 500;
constexpr int RestartPauseMs = 1500;
