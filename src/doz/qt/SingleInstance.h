// One export window per main folder. The first program started on a main
// folder holds a lock file in it and listens on a local socket named after the
// folder; a second start on the same folder finds the lock taken, asks the
// first over the socket to bring its window forward, and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>
#include <string>

class QLocalServer;

namespace doz {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `mainFolder` ends with '/'. A folder where no lock can be made leaves
    // every start free (as if alone).
    explicit SingleInstance(const std::string& mainFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Another program runs on the same main folder and was asked to come forward.
    bool otherRunning() const { return otherRunning_; }

    // The socket's name for a main folder: the same folder, the same user, the same name.
    static QString serverName(const std::string& mainFolder);

signals:
    // A later start on the same main folder wants the window forward.
    void comeForwardRequested();

private:
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool otherRunning_ = false;
};

}  // namespace doz
