#include "qt/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace doz {

namespace {
constexpr const char* kLockName = "usr/Pzt/doz/PztExport_Banche.lock";
constexpr int kWaitMs = 2000;
}  // namespace

QString SingleInstance::serverName(const std::string& mainFolder) {
    const QString folder = QFileInfo(QString::fromStdString(mainFolder)).absoluteFilePath();
    const QByteArray key = QCryptographicHash::hash(
        (QString::number(::getuid()) + QLatin1Char(':') + QDir::cleanPath(folder)).toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("PztExport_Banche-") + QString::fromLatin1(key.toHex().left(16));
}

SingleInstance::SingleInstance(const std::string& mainFolder, QObject* parent) : QObject(parent) {
    const QString lockPath = QString::fromStdString(mainFolder + kLockName);
    if (!QDir().mkpath(QFileInfo(lockPath).absolutePath())) return;
    lock_ = std::make_unique<QLockFile>(lockPath);
    lock_->setStaleLockTime(0);  // stale only when its program no longer runs
    const QString name = serverName(mainFolder);
    if (lock_->tryLock(0)) {
        // The lock is ours: a socket left by a program that ended badly goes.
        QLocalServer::removeServer(name);
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* s = server_->nextPendingConnection()) {
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
                emit comeForwardRequested();
            }
        });
        server_->listen(name);
        return;
    }
    if (lock_->error() != QLockFile::LockFailedError) {
        lock_.reset();  // no lock to be had here (a read-only folder): every start goes on
        return;
    }
    lock_.reset();
    otherRunning_ = true;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(kWaitMs)) {
        socket.write("avanti\n");
        socket.waitForBytesWritten(kWaitMs);
        socket.disconnectFromServer();
    }
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

}  // namespace doz
