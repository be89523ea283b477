#pragma once
// A pseudo-terminal pair for serial tests: the tool opens path(); the test plays the module on
// the master side. Also PumpUntil, which runs the event loop the way a session's wait does.

#include "serial/PtyPair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QThread>
#include <functional>
#include <thread>
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

// One step of a scripted module: wait for Expect bytes from the tool (0: none), then answer with
// Reply, part after part with PauseMs between parts (an empty list: no answer).
struct PtyStep {
    int Expect = 0;
    QList<QByteArray> Reply;
    int PauseMs = 0;
};

struct PtyFixture : ::testing::Test {
    TPtyPair pty;
    std::thread module;
    QByteArray heard; // what the scripted module read, filled by finishModule()

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

    // Plays the module on its own thread while the test thread runs the tool.
    void playModule(QList<PtyStep> steps, int readTimeoutMs = 3000)
    {
        module = std::thread([this, steps = std::move(steps), readTimeoutMs] {
            for (const PtyStep &step : steps) {
                if (step.Expect > 0) {
                    const QByteArray got = pty.Read(step.Expect, readTimeoutMs);
                    heardByModule += got;
                    if (got.size() < step.Expect)
                        return; // the tool did not send the request: the module stays silent
                }
                pty.WriteParts(step.Reply, step.PauseMs);
            }
        });
    }
    // Waits for the module's script to end; what it read is in heard.
    void finishModule()
    {
        if (module.joinable())
            module.join();
        heard = heardByModule;
    }
    void TearDown() override { finishModule(); }

    // The line settings the tool left on the port.
    termios lineSettings() const
    {
        termios t {};
        EXPECT_EQ(tcgetattr(pty.SlaveFd(), &t), 0);
        return t;
    }

private:
    QByteArray heardByModule;
};
