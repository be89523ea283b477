#pragma once
// A pseudo-terminal pair for serial tests: the tool opens path(); the test plays the module on
// the master side. Also PumpUntil, which runs the event loop the way a session's wait does.

#include "serial/PtyPair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <termios.h>

// Handles events until cond() holds or timeoutMs passed; returns cond().
inline bool PumpUntil(const std::function<bool()> &cond, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired())
            return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Handles events for ms milliseconds.
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

struct PtyFixture : ::testing::Test {
    TPtyPair pty;

    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    }
    QString path() const { return pty.SlavePath(); }

    // The module answers: the whole reply in one go, or in parts with blocking pauses between.
    void reply(const QByteArray &bytes) { ASSERT_TRUE(pty.Write(bytes)); }
    void replyInParts(const QList<QByteArray> &parts, int pauseMs) { ASSERT_TRUE(pty.WriteParts(parts, pauseMs)); }
    // What the tool sent: waits for count bytes (at most timeoutMs).
    QByteArray fromTool(int count, int timeoutMs = 3000) { return pty.Read(count, timeoutMs); }

    // The line settings the tool left on the port.
    termios lineSettings() const
    {
        termios t {};
        EXPECT_EQ(tcgetattr(pty.SlaveFd(), &t), 0);
        return t;
    }
};
