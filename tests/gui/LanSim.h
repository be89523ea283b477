#pragma once
// A simulated LAN of modules for the widget tests: bexo-z0-sim lan on a loopback address of its
// own, so that tests running beside each other never meet.

#include "netconfig/UdpSvr.h"

#include <QByteArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

// bexo-z0-sim lan on a loopback address of its own, answering from port 1500 like a Q2, so that
// parallel tests never meet; the endpoint's search goes to it directly.
struct TLanSim {
    QProcess Process;
    QByteArray Out;
    QString Address;
    int PortQ3 = 0;

    ~TLanSim()
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            if (!Process.waitForFinished(3000))
                Process.kill();
            Process.waitForFinished(3000);
        }
    }

    bool Start(const QStringList &modules, const QStringList &extra = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QRandomGenerator *g = QRandomGenerator::global();
            Address = QStringLiteral("127.%1.%2.%3")
                          .arg(100 + g->bounded(100))
                          .arg(g->bounded(256))
                          .arg(1 + g->bounded(250));
            QUdpSocket probe;
            if (!probe.bind(QHostAddress(Address), 0))
                continue;
            PortQ3 = probe.localPort();
            probe.close();
            QStringList args{QStringLiteral("lan"), QStringLiteral("--bind"), Address,
                             QStringLiteral("--port-q2"), QString::number(DevPortQ2), QStringLiteral("--port-q3"),
                             QString::number(PortQ3)};
            for (const QString &m : modules)
                args << QStringLiteral("--module") << m;
            Out.clear();
            Process.setProcessChannelMode(QProcess::MergedChannels);
            Process.start(QStringLiteral(BEXO_SIM_PATH), args + extra);
            if (Said("listening"))
                return true;
            Process.waitForFinished(1000);
        }
        return false;
    }

    bool Said(const QString &text, int ms = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                Out += Process.readAll();
                return QString::fromUtf8(Out).contains(text);
            },
            ms);
    }

    // The blocks a module took, in order, from its "wrote" lines: (what, bytes).
    QList<QPair<QString, QByteArray>> Written(const QString &mac)
    {
        Out += Process.readAll();
        QList<QPair<QString, QByteArray>> blocks;
        static const QRegularExpression line(QStringLiteral("^sim: (\\w+): wrote (.+?): ([0-9A-F ]+) was:"),
                                             QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(QString::fromUtf8(Out)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(1) == mac)
                blocks.append({m.captured(2), QByteArray::fromHex(m.captured(3).toLatin1())});
        }
        return blocks;
    }
};

