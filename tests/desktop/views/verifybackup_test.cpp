// The backup check: its dialog on folders with every kind of difference, and the
// administrators' command on the same folders.
#include "backupverifier.h"
#include "verifybackup.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QString complete = QStringLiteral("1_2024-05-01_10-00-00");
const QString incomplete = QStringLiteral("2_2024-05-02_11-00-00");

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray sha256Line(const QByteArray& content, const QString& name)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + "  " +
           name.toUtf8() + '\n';
}

// A complete session as the backup leaves it; the record is listed like any other file.
void writeSession(const QString& folder, const QByteArray& recordExtra = {})
{
    const QMap<QString, QByteArray> files{{"DCIM/a.jpg", "aaa"},
                                          {"DCIM/b.jpg", "bbb"},
                                          {"c.txt", "ccc"},
                                          {"vix-backup.txt", "Status: complete\n" + recordExtra}};
    QByteArray manifest;
    for (auto it = files.begin(); it != files.end(); ++it) {
        write(folder + '/' + it.key(), it.value());
        manifest += sha256Line(it.value(), it.key());
    }
    write(folder + "/vix-backup.sha256", manifest);
}

using Damage = std::function<void(const QString& exportFolder)>;

void damageAll(const QString& root)
{
    const QString session = root + '/' + complete;
    write(session + "/DCIM/a.jpg", "AAA");
    QFile::remove(session + "/DCIM/b.jpg");
    write(session + "/DCIM/d.jpg", "added");
    write(session + "/kept.jpg", "kept");
    write(root + '/' + incomplete + "/vix-backup.txt", "Status: incomplete\n");
    write(root + '/' + incomplete + "/x.jpg", "half");
}

} // namespace

Q_DECLARE_METATYPE(Damage)

class VerifyBackupTest : public QObject
{
    Q_OBJECT

private slots:
    void findsEveryDifference_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<bool>("oneSession");
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QStringList>("unlisted");
        QTest::addColumn<QStringList>("incompleteSessions");
        QTest::addColumn<bool>("found");
        const QString s = complete + '/';
        const QStringList none;
        QTest::newRow("intact") << Damage([](const QString&) {}) << false << none << none << none
                                << none << true;
        QTest::newRow("no backup in the folder")
            << Damage([](const QString& root) { QDir(root + '/' + complete).removeRecursively(); })
            << false << none << none << none << none << false;
        QTest::newRow("changed, missing, unlisted, kept, incomplete")
            << Damage(damageAll) << false << QStringList{s + "kept.jpg", s + "DCIM/a.jpg"}
            << QStringList{s + "DCIM/b.jpg"} << QStringList{s + "DCIM/d.jpg"}
            << QStringList{incomplete} << true;
        // A session without files, or whose files all differ, has an empty checksum list.
        QTest::newRow("session without files") << Damage([](const QString& root) {
            write(root + "/3/vix-backup.txt", "Status: complete\n");
            write(root + "/3/vix-backup.sha256", "");
        }) << false << none << none << none << none
                                               << true;
        QTest::newRow("one session folder")
            << Damage([](const QString& root) { write(root + '/' + complete + "/c.txt", "x"); })
            << true << QStringList{"c.txt"} << none << none << none << true;
    }

    void findsEveryDifference()
    {
        QFETCH(Damage, damage);
        QFETCH(bool, oneSession);
        QFETCH(QStringList, changed);
        QFETCH(QStringList, missing);
        QFETCH(QStringList, unlisted);
        QFETCH(QStringList, incompleteSessions);
        QFETCH(bool, found);
        QTemporaryDir root;
        const QByteArray kept = "Differs from card: kept.jpg (disk 4 bytes, card 5 bytes, card "
                                "SHA-256 " +
                                QByteArray(64, 'a') + ")\n";
        writeSession(root.filePath(complete), changed.contains(complete + "/kept.jpg") ? kept : "");
        damage(root.path());
        const QString folder = oneSession ? root.filePath(complete) : root.path();

        const BackupCheck check = checkBackup(folder, [](qint64, qint64) { return true; });
        QCOMPARE(check.changedFiles, changed);
        QCOMPARE(check.missingFiles, missing);
        QCOMPARE(check.unlistedFiles, unlisted);
        QCOMPARE(check.incompleteSessions, incompleteSessions);
        const bool intact = changed.isEmpty() && missing.isEmpty() && unlisted.isEmpty() &&
                            incompleteSessions.isEmpty();
        QCOMPARE(check.foundBackup, found);
        QCOMPARE(check.everythingMatches(), intact && found);

        VerifyBackup dialog(folder);
        dialog.show();
        auto* pages = dialog.findChild<QStackedWidget*>("stackedWidget");
        QTRY_COMPARE(pages->currentWidget()->objectName(), QStringLiteral("resultPage"));
        const QByteArray shots = qgetenv("VIX_SHOTS_DIR");
        if (!shots.isEmpty())
            dialog.grab().save(QString::fromLocal8Bit(shots) + "/verify_" +
                               QString(QTest::currentDataTag()).replace(' ', '_') + ".png");
        const QString result = dialog.findChild<QLabel*>("lblResult")->text();
        QCOMPARE(result.startsWith("Every file matches"), intact && found);
        QCOMPARE(result.contains("holds no backup"), !found);
        const QString details = dialog.findChild<QPlainTextEdit*>("textDetails")->toPlainText();
        for (const QString& path : changed + missing + unlisted + incompleteSessions)
            QVERIFY2(details.contains(path), qPrintable(details));

        // Changed or missing listed files and incomplete sessions fail the command; it does
        // not look for files added beside the listed ones.
        const QString command = dialog.findChild<QPlainTextEdit*>("textCommand")->toPlainText();
        QCOMPARE(command, backupCheckCommand(folder));
        QProcess shell;
        shell.start("bash", {"-c", command});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode() == 0,
                 changed.isEmpty() && missing.isEmpty() && incompleteSessions.isEmpty());
    }

    void aStoppedCheckProvesNothing()
    {
        QTemporaryDir root;
        writeSession(root.filePath(complete));
        const BackupCheck check = checkBackup(root.path(), [](qint64, qint64) { return false; });
        QVERIFY(check.canceled);
        QVERIFY(!check.everythingMatches());
    }
};

QTEST_MAIN(VerifyBackupTest)
#include "verifybackup_test.moc"
