#pragma once
// The addresses of a search by address: modules behind a router never hear the broadcast, so the
// search goes to each address of a list the user gives. The text is outside input and is read
// strictly: items separated by commas (blanks around them allowed), each one of
//   10.1.2.7                 one address
//   10.1.2.20-10.1.2.40      every address from the first to the last, both included
//   10.1.2.0/24              a network: its addresses without the network and broadcast
//                            addresses (all of them for /31 and /32)
// Numbers are decimal without leading zeros (010 could be read as octal elsewhere). Nothing may
// name an address no module can have: 0.x.x.x, multicast, reserved and broadcast addresses
// (224.0.0.0 and above). Repeats are searched once. A list is counted before it is expanded, so
// no text makes the parser use more than a few times MaxSearchAddresses of memory.

#include <QList>
#include <QString>
#include <QStringList>

constexpr int MaxSearchAddresses = 4096;
// Datagrams a second a search by address sends, at most: a range of unknown addresses on the
// local segment costs the machine one neighbour entry each, and a router one lookup each.
constexpr int SearchByAddressRate = 250;

enum class TRangeFault {
    None,
    Empty,      // no item at all, or an empty one between commas
    NotAddress, // an item that is none of the three forms
    BadPrefix,  // the length after / is not 0..32
    HostBits,   // a network whose address has host bits set
    Reversed,   // a range that ends before it starts
    NotUnicast, // holds an address no module can have
    TooMany,    // more than the limit
};

struct TRangeError {
    TRangeFault Fault = TRangeFault::None;
    QString Item;   // the item at fault (as given)
    QString Detail; // HostBits: the network meant; NotUnicast: the address refused
    qint64 Count = 0; // TooMany: how many addresses were asked for (at least)
    int Limit = MaxSearchAddresses;
};

// Every address of the texts (each a comma-separated list), in order of first appearance; false
// with the first fault and nothing in addresses.
bool ParseAddressRanges(const QStringList &texts, QList<quint32> &addresses, TRangeError &error,
                        int limit = MaxSearchAddresses);
// The fault in the current language.
QString RangeErrorText(const TRangeError &error);

// 167838215 -> "10.1.2.7".
QString AddressText(quint32 address);
// "10.1.2.7" -> 167838215; false for anything but a strict dotted quad.
bool ParseAddress(const QString &text, quint32 &address);
