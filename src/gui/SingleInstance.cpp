#include "gui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLoggingCategory>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <unistd.h>

// Off unless asked for (QT_LOGGING_RULES="bexo.instance.info=true"): says what a restore did.
Q_LOGGING_CATEGORY(lcInstance, "bexo.instance", QtWarningMsg)

namespace {
const QByteArray RestoreRequest = "restore\n";

QString userKey() { return SingleInstanceName + u'-' + QString::number(getuid()); }
} // namespace

TSingleInstance::TSingleInstance(const QString &folder, QObject *parent) : QObject(parent)
{
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    FLockPath = QDir(dir).filePath(userKey() + QStringLiteral(".lock"));
    FServerName = QDir(dir).filePath(userKey() + QStringLiteral(".sock"));
}

TSingleInstance::~TSingleInstance()
{
    if (FServer)
        FServer->close();
}

bool TSingleInstance::Claim()
{
    FLock = std::make_unique<QLockFile>(FLockPath);
    // Only a lock whose process is gone counts as stale, however long the first copy has run.
    FLock->setStaleLockTime(0);
    if (!FLock->tryLock(0)) {
        if (FLock->error() == QLockFile::LockFailedError)
            return false;
        // The lock cannot be made at all (no such folder, no permission): run as the first copy.
        FLock.reset();
        return true;
    }
    listen();
    return true;
}

void TSingleInstance::listen()
{
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a killed first copy; we hold the lock, so nobody else listens on it.
    QLocalServer::removeServer(FServerName);
    if (!FServer->listen(FServerName))
        return;
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = FServer->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                // Only the one request exists; anything else is dropped with the connection.
                const QByteArray line = s->readLine(64);
                if (line == RestoreRequest) {
                    qCInfo(lcInstance, "restore requested by a later copy");
                    if (OnRestoreRequest)
                        OnRestoreRequest();
                }
                s->disconnectFromServer();
            });
        }
    });
}

bool TSingleInstance::AskFirstToRestore(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // The first copy may hold the lock a moment before it listens: try again until the time is up.
    while (true) {
        QLocalSocket s;
        s.connectToServer(FServerName);
        if (s.waitForConnected(qMax(1, int(timeoutMs - clock.elapsed())))) {
            s.write(RestoreRequest);
            const bool sent = s.waitForBytesWritten(qMax(1, int(timeoutMs - clock.elapsed())));
            s.disconnectFromServer();
            return sent;
        }
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(50);
    }
}

void RestoreWindow(QWidget *window)
{
    if (!window)
        return;
    const bool wasMinimised = window->isMinimized();
    if (wasMinimised || window->isHidden())
        window->showNormal();
    window->raise();
    window->activateWindow();
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != window && modal->isVisible() &&
                                                             modal->isEnabled()) {
        modal->raise();
        modal->activateWindow();
    }
    qCInfo(lcInstance, "window restored: was minimised %d, now visible %d, minimised %d", int(wasMinimised),
           int(window->isVisible()), int(window->isMinimized()));
}
