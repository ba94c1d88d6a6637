#include "singleapplication.h"
#include "singleapplication_p.h"

#include <QCryptographicHash>

#include <cstdlib>

SingleApplication::SingleApplication(int& argc, char** argv, bool allowSecondary, Options options,
                                     int timeout)
    : QApplication(argc, argv), d_ptr(new SingleApplicationPrivate(this))
{
    Q_D(SingleApplication);
    d->options = options;
    d->genBlockServerName();
    const StartLock startLock(d->blockServerName, options & Mode::User);
    d->randomSleep();

    openSharedBlock();
    waitForConsistentBlock();

    if (!d->block()->primary || d->recordedPrimaryIsGone()) {
        d->startPrimary();
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory after primary start."
                     << d->memory->errorString();
        return;
    }

    const qint64 unansweredPid = d->block()->primaryPid;
    if (allowSecondary) {
        d->startSecondary();
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory after secondary start."
                     << d->memory->errorString();
        if (options & Mode::SecondaryNotification &&
            !d->connectToPrimary(timeout, SingleApplicationPrivate::SecondaryInstance))
            d->takeOverFrom(unansweredPid);
        return;
    }

    if (!d->memory->unlock())
        qDebug() << "SingleApplication: Unable to unlock memory at end of execution."
                 << d->memory->errorString();
    if (d->connectToPrimary(timeout, SingleApplicationPrivate::NewInstance)) {
        delete d;
        ::exit(EXIT_SUCCESS);
    }
    d->takeOverFrom(unansweredPid);
    if (isSecondary()) {
        delete d;
        ::exit(EXIT_SUCCESS);
    }
}

// Creates the shared block, or attaches to the one of a running instance, and locks it.
void SingleApplication::openSharedBlock()
{
    Q_D(SingleApplication);
    {
        // Attaching and letting go makes the system drop a block that no process holds any more.
        QSharedMemory leftOver(d->blockServerName);
        leftOver.attach();
    }
    d->memory = new QSharedMemory(d->blockServerName);
    if (d->memory->create(sizeof(InstancesInfo))) {
        if (!d->memory->lock()) {
            qCritical() << "SingleApplication: Unable to lock memory block after create.";
            abortSafely();
        }
        d->initializeMemoryBlock();
    } else if (d->memory->error() == QSharedMemory::AlreadyExists) {
        if (!d->memory->attach()) {
            qCritical() << "SingleApplication: Unable to attach to shared memory block.";
            abortSafely();
        }
        if (!d->memory->lock()) {
            qCritical() << "SingleApplication: Unable to lock memory block after attach.";
            abortSafely();
        }
    } else {
        qCritical() << "SingleApplication: Unable to create block.";
        abortSafely();
    }
}

// A block whose checksum does not match is being written by another start; one that stays
// so is left over from an instance that died while writing it.
void SingleApplication::waitForConsistentBlock()
{
    Q_D(SingleApplication);
    QElapsedTimer waited;
    waited.start();
    while (d->blockChecksum() != d->block()->checksum) {
        if (waited.elapsed() > 5000) {
            qWarning() << "SingleApplication: Shared memory block has been in an inconsistent "
                          "state from more than 5s. Assuming primary instance failure.";
            d->initializeMemoryBlock();
            break;
        }
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory for random wait."
                     << d->memory->errorString();
        d->randomSleep();
        if (!d->memory->lock()) {
            qCritical() << "SingleApplication: Unable to lock memory after random wait.";
            abortSafely();
        }
    }
}

SingleApplication::~SingleApplication()
{
    Q_D(SingleApplication);
    delete d;
}

bool SingleApplication::isPrimary() const
{
    Q_D(const SingleApplication);
    return d->server != nullptr;
}

bool SingleApplication::isSecondary() const
{
    Q_D(const SingleApplication);
    return d->server == nullptr;
}

uint SingleApplication::instanceId() const
{
    Q_D(const SingleApplication);
    return d->instanceNumber;
}

qint64 SingleApplication::primaryPid() const
{
    Q_D(const SingleApplication);
    return d->primaryPid();
}

QString SingleApplication::primaryUser() const
{
    Q_D(const SingleApplication);
    return d->primaryUser();
}

QString SingleApplication::currentUser() const
{
    return SingleApplicationPrivate::getUsername();
}

bool SingleApplication::sendMessage(const QByteArray& message, int timeout)
{
    Q_D(SingleApplication);
    if (isPrimary())
        return false;
    if (!d->connectToPrimary(timeout, SingleApplicationPrivate::Reconnect))
        return false;
    d->socket->write(message);
    d->socket->flush();
    return d->socket->bytesToWrite() == 0 || d->socket->waitForBytesWritten(timeout);
}

QString SingleApplication::instanceKey(Options options)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("SingleApplication", 17);
    hash.addData(QCoreApplication::applicationName().toUtf8());
    hash.addData(QCoreApplication::organizationName().toUtf8());
    hash.addData(QCoreApplication::organizationDomain().toUtf8());
    if (!(options & Mode::ExcludeAppVersion))
        hash.addData(QCoreApplication::applicationVersion().toUtf8());
    if (!(options & Mode::ExcludeAppPath))
        hash.addData(QCoreApplication::applicationFilePath().toUtf8());
    if (options & Mode::User)
        hash.addData(SingleApplicationPrivate::getUsername().toUtf8());
    return QString::fromLatin1(hash.result().toBase64().replace('/', '_'));
}

void SingleApplication::abortSafely()
{
    Q_D(SingleApplication);
    qCritical() << "SingleApplication: " << d->memory->error() << d->memory->errorString();
    delete d;
    ::exit(EXIT_FAILURE);
}
