#pragma once
// The serial configuration protocol: the frames the PC sends to a module whose configuration pin
// is grounded, how its replies are told apart (by chunk length alone), what they fill, and the
// three serial buttons as functions. Q2 modules carry the base and port blocks of the network
// path; Q1 and Q3 modules carry the 28-byte Q1 field group.

#include "core/Public.h"
#include "netconfig/Q1Page.h"
#include "netconfig/Q2Page.h"
#include "serial/SerialSession.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

// Byte values of the serial protocol (the head and the Q2 read codes live with the other codes).
constexpr uint8_t ComWriteQ1 = 0xBA;    // frame carrying the Q1/Q3 fields
constexpr uint8_t ComFinishQ2 = 0xB1;   // closing frame of a Q2 write: 0x55 0xB1 0x5A
constexpr uint8_t ComFinishQ2Tail = 0x5A;
constexpr uint8_t ComAccepted = 0x4B;   // one-byte reply: the module took the frame

// Reply lengths on the serial line.
constexpr int LenComAck = 1;
constexpr int LenComQ1 = 32;
constexpr int LenComQ2 = 137;
constexpr int LenComQ2Extra = 115;

// Frame lengths from the PC.
constexpr int LenComBaseFrame = 70;
constexpr int LenComPortFrame = 66;
constexpr int LenComQ1Frame = 31;

// Pause between the frames of a Q2 write; no reply is handled during it.
constexpr int ComBlockPauseMs = 500;

// The read request byte of the serial page's model: 0xBD for Q2, 0xBC for Q1, Q3 and none.
uint8_t SerialReadRequest(int model);
// 0x55, code, block, Sum8 of the block.
QByteArray BuildSerialBlockFrame(uint8_t code, const QByteArray &block);
// True when reply is 32 bytes with the head 0x55 0xBC and byte 31 the sum of bytes 2..30.
bool IsValidQ1SerialReply(const uint8_t *reply, int length);

// The 31-byte Q1/Q3 write frame from the page. An empty ID is first set to "0". A field that does
// not convert leaves frame empty and returns false with the field's control name.
bool BuildQ1SerialFrame(TQ1Page &page, QByteArray &frame, QString *failedField = nullptr);

enum class TSerialWriteStatus { Ready, NoTemplate, Invalid, NotConverted, UnknownModel };

struct TSerialWritePlan {
    TSerialWriteStatus Status = TSerialWriteStatus::Ready;
    QString Field;            // what did not convert
    QString Message;          // Invalid: the page's check that failed, as the user reads it
    QList<QByteArray> Frames; // in order; a pause follows each Q2 block frame
    // Acceptances the write needs: one per frame that carries parameters (the Q2 base and port
    // blocks, the Q1/Q3 fields). An answer to the Q2 closing frame is welcome, not needed.
    int AcksNeeded = 0;
    bool Acknowledged(int ackCount) const { return AcksNeeded > 0 && ackCount >= AcksNeeded; }
};

// Everything a serial write would send, without sending. The page's checks come first (the Q2
// page's for what it shows, the Q1 page's for a Q1 or Q3 module): a page they refuse is Invalid.
// The Q2 blocks are encoded on a copy of template130 (base and port block of the last 137-byte
// reply); every frame is built before the first goes out, so nothing is sent when anything fails.
// named: Q2 fields set by name (the CLI), checked even where the serial page hides them.
TSerialWritePlan PlanSerialWrite(int model, const TQ2Page &q2, TQ1Page &q1, const QByteArray &template130,
                                 const QStringList &named = {});

class TSerialProtocol {
public:
    // The session carries every exchange and its log; the pages are filled by the replies and read
    // by the writes. All three must outlive this object, which takes over the session's
    // OnReceiveData.
    TSerialProtocol(TSerialSession &session, TQ2Page &q2, TQ1Page &q1);
    ~TSerialProtocol();
    TSerialProtocol(const TSerialProtocol &) = delete;
    TSerialProtocol &operator=(const TSerialProtocol &) = delete;

    // Outputs to the front end, each skipped when empty.
    std::function<void(int PageMode)> ShowPage;   // PageQ1 on a Q1/Q3 reply, PageQ2 on a Q2 reply
    std::function<void(int PageMode)> PageFilled; // after a reply changed a page
    std::function<void()> ClearPanes;             // the read button clears both panes first
    std::function<void(bool)> ReadButtonEnabled;  // the read button is disabled for its session
    // A write the page's checks refused: the message box of the window (the port is not opened).
    // When empty, the message goes to the log in red.
    std::function<void(const QString &Message)> ShowMessage;
    // The pause between Q2 write frames; BlockingPause unless a test puts in its own.
    std::function<void(int Milliseconds)> Pause;
    // Sleeps without handling events: replies wait until the session's listening wait.
    static void BlockingPause(int Milliseconds);

    // The page shown last (PageNone before any reply).
    int PageMode = PageNone;

    // What this run received over the serial line, for the writes and for the front ends.
    QByteArray LastRead;      // base and port block (130 bytes) of the last 137-byte reply; empty before
    QByteArray LastExtra;     // the last 115-byte reply
    QByteArray LastQ1Reply;   // the last 32-byte reply that passed its checks
    int RefusedQ1Replies = 0; // 32-byte replies with a wrong head or checksum (a red line each)
    int AckCount = 0;         // one-byte 0x4B replies
    int Recognised = 0;       // replies told apart (137, 115 and 32 bytes, refused ones too)
    int RequestModel = ModelNone; // the model the last read request asked for (Q1 for Q1 and Q3)
    QList<int> Unrecognised;  // lengths of the chunks that were no reply (split or foreign data)

    // The receive handler: every chunk the port delivers, traced, then told apart by its length.
    // Never raises.
    void HandleSerialData(const uint8_t *buffer, int length);
    // Checks a 32-byte reply and fills the Q1 page from it; false when it was refused or failed.
    bool ApplyQ1SerialReply(const uint8_t *reply);
    // Sends the write frames of the model (Q2: two blocks and the closing frame with pauses; Q1
    // and Q3: the 31-byte frame). A page the checks refuse sends nothing and shows the message; a
    // write that cannot be built sends nothing and logs the red "Error". Never raises.
    TSerialWritePlan WriteParamsSerial(int model);

    // The serial buttons: the read (request byte by model), the Q1/Q3 write and the Q2 write.
    void ComRead(int model);
    // The read of a module whose model is not known: the request of firstModel, then, in the same
    // session, the other kind's (Q1/Q3 after Q2, Q2 after Q1/Q3) when no reply was told apart. With
    // none after both, a red line says that nothing answered.
    void ComReadAnyModel(int firstModel);
    void ComSet() { ComWrite(ModelQ1); }
    void Q2ComSet() { ComWrite(ModelQ2); }
    void ComWrite(int model);

    TSerialSession &Session() { return FSession; }

private:
    void Show(int page);
    void Filled(int page);
    void refuse(const QString &message);

    TSerialSession &FSession;
    TQ2Page &FQ2;
    TQ1Page &FQ1;
};
