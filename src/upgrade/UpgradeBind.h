#pragma once
// The upgrade's UDP sockets made on the C library alone, and the command line and answer of the
// binding helper bexo-z0-bind. The helper links this unit and nothing else of ours, so it stays
// small: no Qt, no allocation, no exceptions.
//
// Helper command line: bexo-z0-bind FD ADDRESS BINDING...
//   FD       an inherited, connected Unix socket (3 or above) that receives the answer
//   ADDRESS  an IPv4 address of this machine, dotted decimal
//   BINDING  9, 67, 69 or 40300 (a UDP socket on ADDRESS with that port), or broadcast:67 (the BOOTP
//            receiver on 255.255.255.255 port 67, tied to ADDRESS's interface, or not made at all);
//            each at most once
// Answer, one message over FD:
//   "ok N"          N bound sockets attached (SCM_RIGHTS), in the order of the command line
//   "error I ERRNO" binding I (from 0) could not be made; nothing attached
//   "refused TEXT"  the request was refused before anything was bound

#include <cstddef>
#include <cstdint>
#include <net/if.h>
#include <netinet/in.h>

// One socket of an attempt: on the local address, or the broadcast receiver.
struct TUpBindRequest {
    uint16_t Port = 0;
    bool Broadcast = false;
};

// Only these bindings are the helper's business: the upgrade's standard ports.
bool UpHelperMayBind(const TUpBindRequest &req);

// A UDP socket (close-on-exec, non-blocking, broadcast allowed) bound to addr:port, tied to the
// device first when one is given: best effort, or a failure when mustTie is set. No address
// reuse: a server that holds the port makes the bind fail. Returns the descriptor, or -1 with err
// set.
int UpBindUdp(in_addr addr, uint16_t port, const char *device, int &err, bool mustTie = false);

// The port a bound socket got, 0 when it cannot be told.
uint16_t UpBoundPort(int fd);

// The name of the interface that carries the address (without an address label); false when no
// interface of this machine has it.
bool UpInterfaceOf(in_addr addr, char (&name)[IF_NAMESIZE]);

constexpr int UpHelperMaxBindings = 5;
constexpr const char *UpHelperName = "bexo-z0-bind";

struct TUpHelperArgs {
    int Fd = -1;
    in_addr Address{};
    int Count = 0;
    TUpBindRequest Bindings[UpHelperMaxBindings];
};

// The helper's arguments (argv without the program name). nullptr when they are sound, otherwise
// why they are refused.
const char *UpParseHelperArgs(int argc, const char *const *argv, TUpHelperArgs &out);

// A binding as the helper's command line names it ("67", "broadcast:67").
void UpFormatBinding(const TUpBindRequest &req, char (&text)[16]);

enum class TUpHelperAnswer { Ok, Error, Refused };
struct TUpHelperReply {
    TUpHelperAnswer Answer = TUpHelperAnswer::Refused;
    int Count = 0;     // Ok: sockets attached
    int Index = -1;    // Error: which binding
    int Errno = 0;     // Error: why
    char Text[128]{};  // Refused: why, printable ASCII only
};

// Reads an answer; false when it is none.
bool UpParseHelperReply(const char *data, size_t size, TUpHelperReply &out);
