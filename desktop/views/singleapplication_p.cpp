#include "singleapplication_p.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

static_assert(sizeof(InstancesInfo) == 152, "the block layout is shared between instances");
static_assert(offsetof(InstancesInfo, secondary) == 4, "the block layout is shared");
static_assert(offsetof(InstancesInfo, primaryPid) == 8, "the block layout is shared");
static_assert(offsetof(InstancesInfo, primaryUser) == 16, "the block layout is shared");
static_assert(offsetof(InstancesInfo, checksum) == 144, "the block layout is shared");

namespace {

bool processIsGone(qint64 pid)
{
    if (pid <= 0)
        return true;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    // A killed process its parent has not yet collected still answers kill().
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int afterName = line.lastIndexOf(')');
    return afterName >= 0 && line.mid(afterName + 2, 1) == "Z";
}

} // namespace

StartLock::StartLock(const QString& key, bool userOnly)
{
    const QByteArray path =
        QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + key + QLatin1String(".startlock"));
    fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, userOnly ? 0600 : 0666);
    if (fd < 0) {
        qDebug() << "SingleApplication: Unable to open the start lock" << path
                 << std::strerror(errno);
        return;
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

StartLock::~StartLock()
{
    if (fd >= 0)
        ::close(fd);
}

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* q) : q_ptr(q) {}

SingleApplicationPrivate::~SingleApplicationPrivate()
{
    if (socket) {
        socket->close();
        delete socket;
    }
    if (memory) {
        memory->lock();
        if (server) {
            server->close();
            delete server;
            InstancesInfo* info = block();
            info->primary = false;
            info->primaryPid = -1;
            info->primaryUser[0] = '\0';
            info->checksum = blockChecksum();
        }
        memory->unlock();
        delete memory;
    }
}

QString SingleApplicationPrivate::getUsername()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

void SingleApplicationPrivate::genBlockServerName()
{
    blockServerName = SingleApplication::instanceKey(options);
}

InstancesInfo* SingleApplicationPrivate::block() const
{
    return static_cast<InstancesInfo*>(memory->data());
}

void SingleApplicationPrivate::initializeMemoryBlock()
{
    InstancesInfo* info = block();
    std::memset(info, 0, sizeof(InstancesInfo));
    info->primary = false;
    info->secondary = 0;
    info->primaryPid = -1;
    info->checksum = blockChecksum();
}

quint16 SingleApplicationPrivate::blockChecksum() const
{
    return qChecksum(static_cast<const char*>(memory->constData()),
                     offsetof(InstancesInfo, checksum));
}

void SingleApplicationPrivate::randomSleep() const
{
    QThread::msleep(QRandomGenerator::global()->bounded(8u, 13u));
}

void SingleApplicationPrivate::startPrimary()
{
    InstancesInfo* info = block();
    info->primary = true;
    info->primaryPid = QCoreApplication::applicationPid();
    qstrncpy(info->primaryUser, getUsername().toUtf8().constData(), sizeof(info->primaryUser));
    info->checksum = blockChecksum();
    instanceNumber = 0;

    QLocalServer::removeServer(blockServerName);
    server = new QLocalServer();
    server->setSocketOptions(options & SingleApplication::Mode::User
                                 ? QLocalServer::UserAccessOption
                                 : QLocalServer::WorldAccessOption);
    server->listen(blockServerName);
    connect(server, &QLocalServer::newConnection, this,
            &SingleApplicationPrivate::slotConnectionEstablished);
}

void SingleApplicationPrivate::startSecondary()
{
    InstancesInfo* info = block();
    info->secondary += 1;
    info->checksum = blockChecksum();
    instanceNumber = info->secondary;
}

bool SingleApplicationPrivate::recordedPrimaryIsGone() const
{
    return processIsGone(block()->primaryPid);
}

void SingleApplicationPrivate::takeOverFrom(qint64 unansweredPid)
{
    if (!memory->lock()) {
        qDebug() << "SingleApplication: Unable to lock memory for the takeover."
                 << memory->errorString();
        return;
    }
    const InstancesInfo* info = block();
    if (blockChecksum() != info->checksum || !info->primary || info->primaryPid == unansweredPid) {
        qWarning() << "SingleApplication: The primary instance" << unansweredPid
                   << "does not answer; this instance takes its place.";
        delete socket;
        socket = nullptr;
        startPrimary();
    }
    if (!memory->unlock())
        qDebug() << "SingleApplication: Unable to unlock memory after the takeover."
                 << memory->errorString();
}

qint64 SingleApplicationPrivate::primaryPid() const
{
    memory->lock();
    const qint64 pid = block()->primaryPid;
    memory->unlock();
    return pid;
}

QString SingleApplicationPrivate::primaryUser() const
{
    memory->lock();
    const QByteArray user(
        block()->primaryUser,
        static_cast<int>(qstrnlen(block()->primaryUser, sizeof(InstancesInfo::primaryUser))));
    memory->unlock();
    return QString::fromUtf8(user);
}

bool SingleApplicationPrivate::connectToPrimary(int timeout, ConnectionType connectionType)
{
    QElapsedTimer time;
    time.start();
    if (!socket)
        socket = new QLocalSocket();
    if (socket->state() == QLocalSocket::ConnectedState)
        return true;

    while (socket->state() != QLocalSocket::ConnectedState) {
        if (time.elapsed() >= timeout)
            return false;
        randomSleep();
        if (socket->state() != QLocalSocket::ConnectingState)
            socket->connectToServer(blockServerName, QIODevice::ReadWrite);
        if (socket->state() == QLocalSocket::ConnectingState)
            socket->waitForConnected(static_cast<int>(qMax<qint64>(timeout - time.elapsed(), 0)));
    }

    QByteArray body;
    QDataStream bodyStream(&body, QIODevice::WriteOnly);
    bodyStream.setVersion(QDataStream::Qt_5_6);
    bodyStream << blockServerName.toLatin1();
    bodyStream << static_cast<qint8>(connectionType);
    bodyStream << instanceNumber;
    bodyStream << qChecksum(body.constData(), static_cast<uint>(body.length()));

    QByteArray header;
    QDataStream headerStream(&header, QIODevice::WriteOnly);
    headerStream.setVersion(QDataStream::Qt_5_6);
    headerStream << static_cast<quint64>(body.length());

    socket->write(header);
    socket->write(body);
    socket->flush();
    // Nothing left to write means the message is through; waiting would report false.
    return socket->bytesToWrite() == 0 ||
           socket->waitForBytesWritten(static_cast<int>(qMax<qint64>(timeout - time.elapsed(), 1)));
}

void SingleApplicationPrivate::slotConnectionEstablished()
{
    QLocalSocket* nextConnection = server->nextPendingConnection();
    connectionMap.insert(nextConnection, ConnectionInfo());

    connect(nextConnection, &QLocalSocket::aboutToClose, this, [nextConnection, this] {
        slotClientConnectionClosed(nextConnection, connectionMap.value(nextConnection).instanceId);
    });
    connect(nextConnection, &QLocalSocket::disconnected, nextConnection,
            &QLocalSocket::deleteLater);
    connect(nextConnection, &QLocalSocket::destroyed, this,
            [nextConnection, this] { connectionMap.remove(nextConnection); });
    connect(nextConnection, &QLocalSocket::readyRead, this, [nextConnection, this] {
        ConnectionInfo& info = connectionMap[nextConnection];
        if (info.stage == ConnectionInfo::StageHeader)
            readInitMessageHeader(nextConnection, info);
        // Bytes already buffered raise no second readyRead.
        if (connectionMap.value(nextConnection).stage == ConnectionInfo::StageBody)
            readInitMessageBody(nextConnection);
        else if (connectionMap.value(nextConnection).stage == ConnectionInfo::StageConnected)
            slotDataAvailable(nextConnection, connectionMap.value(nextConnection).instanceId);
    });
}

void SingleApplicationPrivate::readInitMessageHeader(QLocalSocket* sock, ConnectionInfo& info)
{
    if (sock->bytesAvailable() < static_cast<qint64>(sizeof(quint64)))
        return;
    QDataStream headerStream(sock);
    headerStream.setVersion(QDataStream::Qt_5_6);
    quint64 length = 0;
    headerStream >> length;
    // A length no init message can have: not one of ours, and waiting for it would only
    // collect memory.
    if (length < sizeof(quint16) || length > static_cast<quint64>(maxInitMessageLength)) {
        sock->close();
        return;
    }
    info.msgLen = static_cast<qint64>(length);
    info.stage = ConnectionInfo::StageBody;
}

void SingleApplicationPrivate::readInitMessageBody(QLocalSocket* sock)
{
    Q_Q(SingleApplication);
    ConnectionInfo& info = connectionMap[sock];
    if (sock->bytesAvailable() < info.msgLen)
        return;
    const QByteArray body = sock->read(info.msgLen);
    QDataStream bodyStream(body);
    bodyStream.setVersion(QDataStream::Qt_5_6);
    QByteArray latin1Name;
    qint8 connectionType = InvalidConnection;
    quint32 instanceId = 0;
    quint16 receivedChecksum = 0;
    bodyStream >> latin1Name >> connectionType >> instanceId >> receivedChecksum;
    const quint16 actualChecksum =
        qChecksum(body.constData(), static_cast<uint>(body.length() - sizeof(quint16)));
    if (bodyStream.status() != QDataStream::Ok || receivedChecksum != actualChecksum ||
        QString::fromLatin1(latin1Name) != blockServerName) {
        sock->close();
        return;
    }

    info.instanceId = instanceId;
    info.stage = ConnectionInfo::StageConnected;
    if (connectionType == NewInstance || (connectionType == SecondaryInstance &&
                                          options & SingleApplication::Mode::SecondaryNotification))
        emit q->instanceStarted();
    if (sock->bytesAvailable() > 0)
        slotDataAvailable(sock, instanceId);
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* dataSocket, quint32 instanceId)
{
    Q_Q(SingleApplication);
    emit q->receivedMessage(instanceId, dataSocket->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* closedSocket,
                                                          quint32 instanceId)
{
    if (connectionMap.value(closedSocket).stage == ConnectionInfo::StageConnected &&
        closedSocket->bytesAvailable() > 0)
        slotDataAvailable(closedSocket, instanceId);
}
