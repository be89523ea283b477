#pragma once
// Waits that keep the thread's event loop running: one wait, with or without a condition.

#include <functional>

// Returns after Milliseconds while the calling thread keeps handling its events (received
// serial data and datagrams among them); earlier when Done turns true, checked after every batch
// of events, or when the application is asked to quit. Needs a QCoreApplication. Milliseconds
// <= 0 handles what is pending and returns. True when Done ended the wait.
bool WaitUntil(int Milliseconds, const std::function<bool()> &Done);

// The same without a condition.
void WaitWithMessages(int Milliseconds);
