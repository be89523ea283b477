#include "netconfig/KeepSearch.h"

TKeepSearch::TKeepSearch(QObject *parent) : QObject(parent)
{
    connect(&FTimer, &QTimer::timeout, this, [this] { round(); });
}

bool TKeepSearch::reached() const { return FUntil > 0 && Answered && Answered() >= FUntil; }

void TKeepSearch::Start(int until)
{
    FTimer.stop();
    FUntil = qMax(0, until);
    FRounds = 0;
    if (reached()) {
        emit Finished(true);
        return;
    }
    FTimer.start(qMax(1, IntervalMs));
    round();
}

void TKeepSearch::round()
{
    if (reached()) {
        FTimer.stop();
        emit Finished(true);
        return;
    }
    ++FRounds;
    if (SendSearch)
        SendSearch();
}

void TKeepSearch::Stop()
{
    if (!FTimer.isActive())
        return;
    FTimer.stop();
    emit Finished(false);
}

void TKeepSearch::Check()
{
    if (FTimer.isActive() && reached()) {
        FTimer.stop();
        emit Finished(true);
    }
}
