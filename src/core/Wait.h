#pragma once
// Waits that keep the thread's event loop running.

// Returns after Milliseconds while the calling thread keeps handling its events (received
// serial data among them); earlier only when the application is asked to quit. Needs a
// QCoreApplication. Milliseconds <= 0 handles what is pending and returns.
void WaitWithMessages(int Milliseconds);
