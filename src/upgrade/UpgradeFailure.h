#pragma once
// Why an upgrade attempt failed, as a kind with its particulars, and the words for it in the
// current language with what to do: a port held by a DHCP, BOOTP or TFTP server, the binding helper
// missing, not allowed to this user or without its capability, a file that cannot be read. The
// upgrade window shows them in itself; the CLI prints the same.

#include <QString>
#include <cstdint>

enum class TUpFailureKind {
    None,
    PortHeld,      // another program holds Port on Address (Server names which kind, if known)
    NoHelper,      // ports below 1024 refused and no binding helper installed (Path: where one may go)
    HelperDenied,  // a helper is there, but this user may not run it (not in its Group)
    HelperNoCap,   // the helper ran but may not bind those ports either
    FileUnreadable, // Path cannot be opened (Detail: the system's words)
    FileTooShort,  // Path holds too few bytes for an image
    Other,         // anything else (Detail: the English reason)
};

struct TUpgradeFailure {
    TUpFailureKind Kind = TUpFailureKind::None;
    QString Address;
    uint16_t Port = 0;
    QString Server; // "DHCP/BOOTP", "TFTP" or empty
    QString Path;
    QString Group; // the group whose members may run the helper
    QString Detail;
};

// A failure of a kind that names a file or helper (path) and carries the English reason (detail).
TUpgradeFailure UpFailure(TUpFailureKind kind, const QString &path = QString(), const QString &detail = QString());
// A port on address that another program holds; server names the kind of program when known.
TUpgradeFailure UpPortHeld(const QString &address, uint16_t port, const QString &server, const QString &detail);

// The window's and the CLI's text for a failure; empty for None.
QString UpgradeFailureText(const TUpgradeFailure &failure);
