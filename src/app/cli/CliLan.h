#pragma once
// The LAN side of the CLI: a session printing to the terminal, a search, and waiting for replies.

#include "app/cli/Cli.h"
#include "netconfig/Codecs.h"
#include "netconfig/Q2Page.h"
#include "netconfig/DeviceList.h"
#include "netconfig/LanSession.h"
#include "netconfig/UdpSvr.h"

#include <QJsonObject>
#include <optional>

class TCliLan {
public:
    explicit TCliLan(const TCliOptions &opt);

    TCliOptions Opt;
    TCliLogSink Log;
    TLanSession Session;
    TUdpSvr &Svr;
    const TDeviceList &Devices;
    TReadResult Read;
    QList<int> Statuses; // every status reported, in order
    // Called for every status after it is logged.
    std::function<void(int)> OnStatus;
    // When set, a module's answer to a command (acknowledgement, password, checksum or other
    // error) is the command's result: it is kept in AnswerLines for the command to print once,
    // not logged as well.
    bool AnswerIsResult = false;
    QStringList AnswerLines; // the text each answer's log line would have had, in order
    // Every module answer with the text of its log line, in order, logged or not.
    QList<std::pair<int, QString>> Answers;
    // When set, the search-sent hint is not logged (searches after the first of a command).
    bool QuietSearch = false;

    // Clears the list and searches: up to Opt.Repeat rounds of Opt.WaitMs each (the rows
    // accumulate, a module's first reply wins), ending early once expect modules answered (when
    // expect > 0) or every MAC in wanted answered (when wanted is not empty).
    void Search(int expect = 0, const QStringList &wanted = {});
    // The row of a MAC, after Search; raises TUsageError for a MAC text that is not one.
    const TDeviceRow *FindRow(const QString &mac);
    // Search, then the row of a MAC; a module that did not answer is reported on stderr.
    const TDeviceRow *SearchFor(const QString &mac);
    // Sends the read of a row and listens for Opt.WaitMs; false when nothing was sent.
    bool ReadRow(const TDeviceRow &row);
};

// A module's answer to a command frame.
bool IsModuleAnswer(int status);

// "001a2b3c4d5e", "00 1A 2B ...", "00:1A:..." -> "001A2B3C4D5E"; raises TUsageError otherwise.
QString NormalizeMacArg(const QString &text);

QJsonObject BaseJson(const TBaseParam &p);
QJsonObject PortJson(const TPortParam &p);
QJsonObject ReadResultJson(const TReadResult &r);
void PrintReadResult(const TReadResult &r, bool json);
