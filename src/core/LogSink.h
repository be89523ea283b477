#pragma once
// The four line writers of the operation log and the data-stream pane. The main window writes to
// its panes, the CLI to the terminal, tests to a recorder.

#include <QString>
#include <cstdint>

enum class TLogColor { Green, Red, Blue, Maroon };

// RGB of each colour, as the panes paint them.
uint32_t LogColorRgb(TLogColor color);

class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void AddLog(const QString &text, TLogColor color) = 0; // operation log
    virtual void AddHex(const QString &text, TLogColor color) = 0; // data-stream pane
    void AddLogInfo(const QString &text) { AddLog(text, TLogColor::Green); }
    void AddHexInfo(const QString &text) { AddHex(text, TLogColor::Green); }
};

// A sink that drops everything (the default where no front end listens).
class TNullLogSink : public ILogSink {
public:
    void AddLog(const QString &, TLogColor) override {}
    void AddHex(const QString &, TLogColor) override {}
};
