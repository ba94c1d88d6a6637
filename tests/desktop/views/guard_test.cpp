// The single-instance guard as a user meets it: separate processes of a small program that
// carries the guard with vaultdesk's options.
#include "singleapplication.h"
#include "singleapplication_p.h"
#include "startup.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSharedMemory>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

QString probeName(const char* purpose)
{
    return QStringLiteral("vix-guard-%1-%2").arg(QCoreApplication::applicationPid()).arg(purpose);
}

QString keyOf(const QString& name)
{
    const QString own = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(name);
    const QString key = SingleApplication::instanceKey(guardOptions());
    QCoreApplication::setApplicationName(own);
    return key;
}

std::unique_ptr<QProcess> startProbe(const QString& name)
{
    auto probe = std::make_unique<QProcess>();
    probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe->start(QStringLiteral(VIX_GUARD_PROBE), {name});
    return probe;
}

// First line of the probe: "primary" or "secondary <id>".
QByteArray roleOf(QProcess& probe)
{
    QElapsedTimer waited;
    waited.start();
    while (!probe.canReadLine() && waited.elapsed() < 30000)
        probe.waitForReadyRead(100);
    return probe.readLine().trimmed();
}

void quitProbe(QProcess& probe)
{
    probe.write("quit\n");
    if (!probe.waitForFinished(10000))
        probe.kill();
    probe.waitForFinished();
}

QByteArray initMessage(const QByteArray& key, qint8 type, bool spoilChecksum)
{
    QByteArray body;
    QDataStream bodyStream(&body, QIODevice::WriteOnly);
    bodyStream.setVersion(QDataStream::Qt_5_6);
    bodyStream << key << type << quint32(7);
    bodyStream << quint16(qChecksum(body.constData(), uint(body.size())) ^ (spoilChecksum ? 1 : 0));
    QByteArray message;
    QDataStream headerStream(&message, QIODevice::WriteOnly);
    headerStream.setVersion(QDataStream::Qt_5_6);
    headerStream << quint64(body.size());
    return message + body;
}

// A block as a crashed or stuck primary leaves it, held attached by the test.
std::unique_ptr<QSharedMemory> plantBlock(const QString& name, qint64 pid, bool validChecksum)
{
    auto memory = std::make_unique<QSharedMemory>(keyOf(name));
    if (!memory->create(sizeof(InstancesInfo)) && !memory->attach())
        return nullptr;
    memory->lock();
    auto* info = static_cast<InstancesInfo*>(memory->data());
    std::memset(info, 0, sizeof(InstancesInfo));
    info->primary = true;
    info->primaryPid = pid;
    std::strcpy(info->primaryUser, "someone");
    info->checksum =
        qChecksum(static_cast<const char*>(memory->constData()), offsetof(InstancesInfo, checksum));
    if (!validChecksum)
        info->checksum ^= 0x5a5a;
    memory->unlock();
    return memory;
}

qint64 pidOfAnEndedProcess()
{
    QProcess ended;
    ended.start(QStringLiteral("true"), QStringList());
    ended.waitForStarted();
    const qint64 pid = ended.processId();
    ended.waitForFinished();
    return pid;
}

} // namespace

class GuardTest : public QObject
{
    Q_OBJECT

private slots:
    void simultaneousStartsMakeExactlyOnePrimary()
    {
        const QString name = probeName("together");
        for (int round = 0; round < 50; ++round) {
            auto first = startProbe(name);
            auto second = startProbe(name);
            const QByteArray roles[] = {roleOf(*first), roleOf(*second)};
            const int primaries = (roles[0] == "primary") + (roles[1] == "primary");
            QVERIFY2(primaries == 1, qPrintable(QStringLiteral("round %1: %2 / %3")
                                                    .arg(round)
                                                    .arg(QString(roles[0]), QString(roles[1]))));
            QProcess& primary = roles[0] == "primary" ? *first : *second;
            QProcess& secondary = roles[0] == "primary" ? *second : *first;
            QVERIFY(secondary.waitForFinished(10000));
            QCOMPARE(secondary.exitCode(), 0);
            QByteArray heard;
            QTRY_VERIFY_WITH_TIMEOUT((heard += primary.readAll()).contains("started"), 10000);
            quitProbe(primary);
            heard += primary.readAll();
            QCOMPARE(heard.count("started"), 1);
        }
    }

    // Every other round the test holds the block, so it outlives the killed primary and the
    // next start has to see that the recorded primary is gone.
    void killedPrimaryIsReplacedByTheNextStart()
    {
        const QString name = probeName("killed");
        auto primary = startProbe(name);
        QCOMPARE(roleOf(*primary), QByteArray("primary"));
        qint64 slowestMs = 0;
        for (int round = 0; round < 100; ++round) {
            QSharedMemory holder(keyOf(name));
            if (round % 2)
                QVERIFY(holder.attach());
            primary->kill();
            primary->waitForFinished();
            QElapsedTimer started;
            started.start();
            primary = startProbe(name);
            QCOMPARE(roleOf(*primary), QByteArray("primary"));
            slowestMs = qMax(slowestMs, started.elapsed());
        }
        quitProbe(*primary);
        qInfo("slowest start after a killed primary: %lld ms", slowestMs);
    }

    void leftOverBlocksAreTakenOver_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("primary process gone") << "gone";
        QTest::newRow("primary process does not listen") << "deaf";
        QTest::newRow("bad checksum") << "checksum";
    }
    void leftOverBlocksAreTakenOver()
    {
        QFETCH(QString, kind);
        const QString name = probeName(qPrintable("left-over-" + kind));
        const qint64 pid =
            kind == "gone" ? pidOfAnEndedProcess() : QCoreApplication::applicationPid();
        const std::unique_ptr<QSharedMemory> block = plantBlock(name, pid, kind != "checksum");
        QVERIFY(block);
        auto probe = startProbe(name);
        QCOMPARE(roleOf(*probe), QByteArray("primary"));
        auto second = startProbe(name);
        QCOMPARE(roleOf(*second).left(9), QByteArray("secondary"));
        second->waitForFinished();
        quitProbe(*probe);
    }

    void foreignClientsAreDisconnectedWithoutSignal_data()
    {
        QTest::addColumn<QString>("client");
        QTest::newRow("wrong checksum") << "checksum";
        QTest::newRow("other key") << "key";
        QTest::newRow("impossible length") << "length";
    }
    void foreignClientsAreDisconnectedWithoutSignal()
    {
        QFETCH(QString, client);
        const QString name = probeName(qPrintable("clients-" + client));
        const QByteArray key = keyOf(name).toLatin1();
        auto primary = startProbe(name);
        QCOMPARE(roleOf(*primary), QByteArray("primary"));

        QByteArray message;
        if (client == "checksum")
            message = initMessage(key, 1, true);
        else if (client == "key")
            message = initMessage(keyOf(name + "-other").toLatin1(), 1, false);
        else
            message = QByteArray::fromHex("00ffffffffffffff");
        QLocalSocket socket;
        socket.connectToServer(QString::fromLatin1(key));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(message + "hello");
        socket.flush();
        QVERIFY(socket.state() == QLocalSocket::UnconnectedState ||
                socket.waitForDisconnected(10000));

        // The same primary still answers a well-formed start.
        QLocalSocket good;
        good.connectToServer(QString::fromLatin1(key));
        QVERIFY(good.waitForConnected(5000));
        good.write(initMessage(key, 1, false));
        good.flush();
        QByteArray heard;
        QTRY_VERIFY_WITH_TIMEOUT((heard += primary->readAll()).contains("started"), 10000);
        good.disconnectFromServer();
        quitProbe(*primary);
        heard += primary->readAll();
        QCOMPARE(heard.count("started"), 1);
        QVERIFY(!heard.contains("message"));
    }
};

QTEST_GUILESS_MAIN(GuardTest)
#include "guard_test.moc"
