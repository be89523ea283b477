#pragma once
// TPtyPair: a pseudo-terminal pair that stands for a serial cable. The tool opens SlavePath() as
// its CommName; a simulated module or a test reads and writes the master side. The slave side is
// kept open here as well, so the master never sees a hang-up while the tool closes and reopens
// the port. Both sides are raw: bytes pass unchanged, nothing is echoed.

#include <QByteArray>
#include <QList>
#include <QString>

class TPtyPair {
public:
    TPtyPair() = default;
    ~TPtyPair() { Close(); }
    TPtyPair(const TPtyPair &) = delete;
    TPtyPair &operator=(const TPtyPair &) = delete;

    // False with a reason where the system has no pseudo-terminals to give.
    bool Open(QString *error = nullptr);
    void Close();
    bool IsOpen() const { return FMaster >= 0; }

    int MasterFd() const { return FMaster; } // non-blocking
    int SlaveFd() const { return FSlave; }
    const QString &SlavePath() const { return FSlavePath; }

    // Writes all bytes, with one write call where the pty takes them (a reply "in one go").
    // False when they could not all be written within timeoutMs.
    bool Write(const QByteArray &bytes, int timeoutMs = 2000);
    // Writes the parts in order with a blocking pause of pauseMs between two parts.
    bool WriteParts(const QList<QByteArray> &parts, int pauseMs, int timeoutMs = 2000);
    // What the tool has sent so far; never blocks.
    QByteArray ReadAvailable();
    // Reads until count bytes arrived or timeoutMs passed; returns what arrived.
    QByteArray Read(int count, int timeoutMs);

private:
    int FMaster = -1;
    int FSlave = -1;
    QString FSlavePath;
};
