#pragma once
// Writing the Q2 page to a module over the network: validation, every block encoded on top of the
// module's own last replies, the frames with their pauses, and the restart.

#include "core/LogSink.h"
#include "netconfig/DeviceList.h"
#include "netconfig/ModuleRecord.h"
#include "netconfig/Q2Page.h"
#include "netconfig/UdpSvr.h"

#include <QList>
#include <functional>

constexpr int BlockPauseMs = 500;   // after each block but the Modbus ones
constexpr int RestartPauseMs = 1500; // added before the restart

struct TPlannedFrame {
    uint8_t Cmd = 0;
    QByteArray Payload;   // empty for the restart
    int BindingIndex = 0;
    QString Mac;          // 12 hex digits
    int PauseAfterMs = 0; // pause after the send
    QString Dest;         // the module's address, or empty for the broadcast address
};

enum class TQ2WriteStatus { NoRow, WrongModel, Invalid, NotConverted, Ready, Sent };

struct TQ2WritePlan {
    TQ2WriteStatus Status = TQ2WriteStatus::Ready;
    QString Message; // the validation message, or the field that did not convert
    QList<TPlannedFrame> Frames;
    // The module's templates as the write leaves them (its record takes them when sent).
    QByteArray Read, HeartReg, Httpd, Modbus4, ModbusPack, ModbusNew;
};

// Everything the write of the page to this module would send, in order, without sending. Every
// block is encoded on the module's own templates, and before the first frame goes out, so a
// text that does not convert sends nothing at all. No module: NoRow.
TQ2WritePlan PlanQ2Write(const TQ2Page &page, const TModuleRecord *module, int blockPauseMs = BlockPauseMs,
                         int restartPauseMs = RestartPauseMs);

// The module's templates as the planned write leaves them (taken when the write goes out).
void KeepPlanTemplates(const TQ2WritePlan &plan, TModuleRecord &module);
// One planned frame from its binding; false when it could not be sent.
bool SendPlannedFrame(TUdpSvr &svr, const TPlannedFrame &frame, const QString &user, const QString &password);
// The planned frames to the module over svr: each sent, then its pause. The module's templates
// follow the write.
void SendQ2Plan(const TQ2WritePlan &plan, TUdpSvr &svr, TModuleRecord &module, const QString &user,
                const QString &password, const std::function<void(int)> &pause);

// The whole button: plans, logs a missing module or an unconvertible field in red, then sends
// each frame with its pause. pause(ms) blocks; tests pass one that returns at once.
TQ2WritePlan WriteQ2Network(const TQ2Page &page, TUdpSvr &svr, TModuleRecord *module, ILogSink &log,
                            const std::function<void(int)> &pause);

// The version column as a number; anything else counts as 0.
int RowVersion(const TDeviceRow &row);
