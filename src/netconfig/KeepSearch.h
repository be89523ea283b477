#pragma once
// Searching again and again: a module that missed a broadcast (busy, starting, a lost datagram)
// is found by the next one, and rows accumulate (the first reply of a module wins). One search at
// once and then one every IntervalMs, until Stop or until the list holds the wanted number of
// modules. It knows nothing of sockets: SendSearch sends one search, Answered counts the list.

#include <QObject>
#include <QTimer>
#include <functional>

constexpr int KeepSearchIntervalMs = 2000;

class TKeepSearch : public QObject {
    Q_OBJECT
public:
    explicit TKeepSearch(QObject *parent = nullptr);

    std::function<void()> SendSearch; // one search that keeps the list
    std::function<int()> Answered;    // modules listed now
    int IntervalMs = KeepSearchIntervalMs;

    // Searches now and then on the timer; until 0 (or less): until Stop. Does nothing when the
    // list already holds until modules (Finished(true) then follows at once). A running repeat
    // starts over with the new count.
    void Start(int until);
    void Stop();
    // A row arrived: stops once the list holds the wanted number.
    void Check();
    bool Active() const { return FTimer.isActive(); }
    int Until() const { return FUntil; }
    // Searches sent since Start.
    int Rounds() const { return FRounds; }

signals:
    // The repeat has ended: reached is true when the list holds the wanted number, false when it
    // was stopped.
    void Finished(bool reached);

private:
    QTimer FTimer;
    int FUntil = 0;
    int FRounds = 0;

    bool reached() const;
    void round();
};
