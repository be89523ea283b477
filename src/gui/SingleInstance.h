#pragma once
// One copy of the program per user session. The first copy holds a lock file (which a crashed or
// killed copy cannot leave stuck: a lock whose process is gone is taken over) and listens on a
// local socket; a later copy asks it there to restore its window, and ends.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QWidget;

// The name every copy of one user's session agrees on.
inline const QString SingleInstanceName = QStringLiteral("{A823D2A7-7FA2-4FB2-AC74-222D21D26D1B}");

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live; empty: the user's runtime folder.
    explicit TSingleInstance(const QString &folder = QString(), QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True for the first copy, which then listens for restore requests. A copy that cannot take
    // the lock for any other reason than another running copy runs as a first copy.
    bool Claim();
    // A later copy: asks the first copy to restore its window. False when it could not be reached.
    bool AskFirstToRestore(int timeoutMs = 3000);

    // Runs in the first copy when a later copy asks.
    std::function<void()> OnRestoreRequest;

    QString LockPath() const { return FLockPath; }
    QString ServerName() const { return FServerName; }

private:
    QString FLockPath;
    QString FServerName;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer *FServer = nullptr;

    void listen();
};

// Un-minimises, raises and activates the window, and brings its open modal dialog to the front.
void RestoreWindow(QWidget *window);
