#pragma once
// bexo-z0-sim serial as a child process: a simulated module on its own pseudo-terminal, whose path
// start() reads from the simulator's first line; stopped with SIGTERM at the end. Needs BEXO_SIM_PATH.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

struct SimSerialProcess {
    QProcess proc;
    QString port;
    QByteArray out;

    bool start(const QStringList &args)
    {
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start(QStringLiteral(BEXO_SIM_PATH), QStringList{QStringLiteral("serial")} + args);
        if (!proc.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            proc.waitForReadyRead(100);
            out += proc.readAll();
            const qsizetype at = out.indexOf("sim: serial port ");
            const qsizetype end = at < 0 ? -1 : out.indexOf('\n', at);
            if (end > 0) {
                port = QString::fromUtf8(out.mid(at + 17, end - at - 17)).trimmed();
                return true;
            }
        }
        return false;
    }
    // Everything the simulator printed so far.
    QString log()
    {
        out += proc.readAll();
        return QString::fromUtf8(out);
    }
    ~SimSerialProcess()
    {
        proc.terminate();
        if (!proc.waitForFinished(5000))
            proc.kill();
        proc.waitForFinished(2000);
    }
};
