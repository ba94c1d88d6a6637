#pragma once

#include "singleapplication.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSharedMemory>

// Layout of the shared block that records the primary instance.
struct InstancesInfo
{
    bool primary;
    quint32 secondary;
    qint64 primaryPid;
    char primaryUser[128];
    quint16 checksum; // over every byte before it
};

struct ConnectionInfo
{
    enum Stage : quint8 { StageHeader = 0, StageBody = 1, StageConnected = 2 };
    qint64 msgLen = 0;
    quint32 instanceId = 0;
    Stage stage = StageHeader;
};

// Serialises the starts of instances with one key. The shared block's own lock does not: an
// attempt to create the block resets that lock, even while another start holds it.
class StartLock
{
public:
    StartLock(const QString& key, bool userOnly);
    ~StartLock();
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

private:
    int fd = -1;
};

class SingleApplicationPrivate : public QObject
{
    Q_OBJECT

public:
    enum ConnectionType : quint8 {
        InvalidConnection = 0,
        NewInstance = 1,
        SecondaryInstance = 2,
        Reconnect = 3
    };
    // Longest init message accepted; anything longer is not one of ours.
    static constexpr qint64 maxInitMessageLength = 4096;

    Q_DECLARE_PUBLIC(SingleApplication)

    explicit SingleApplicationPrivate(SingleApplication* q);
    ~SingleApplicationPrivate() override;

    static QString getUsername();
    void genBlockServerName();
    void initializeMemoryBlock();
    void startPrimary();
    void startSecondary();
    bool connectToPrimary(int timeout, ConnectionType connectionType);
    quint16 blockChecksum() const;
    qint64 primaryPid() const;
    QString primaryUser() const;
    bool recordedPrimaryIsGone() const;
    // After a failed connection: becomes the primary when the block still names the one that
    // did not answer (another start may have taken over meanwhile).
    void takeOverFrom(qint64 unansweredPid);
    void readInitMessageHeader(QLocalSocket* socket, ConnectionInfo& info);
    void readInitMessageBody(QLocalSocket* socket);
    InstancesInfo* block() const;
    void randomSleep() const;

    SingleApplication* q_ptr;
    QSharedMemory* memory = nullptr;
    QLocalSocket* socket = nullptr;
    QLocalServer* server = nullptr;
    quint32 instanceNumber = 0;
    QString blockServerName;
    SingleApplication::Options options;
    QHash<QLocalSocket*, ConnectionInfo> connectionMap;

public Q_SLOTS:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* dataSocket, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* closedSocket, quint32 instanceId);
};
