#include "ViewModel.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

#include <stdexcept>

class SampleViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(int, progress, Progress, 7)
};

class DerivedSampleViewModel : public SampleViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, title, Title, QStringLiteral("start"))
};

class ViewModelTest : public QObject
{
    Q_OBJECT

private slots:
    void generatedMembersFollowTheNamingConvention()
    {
        const QMetaObject& meta = SampleViewModel::staticMetaObject;
        QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 3);
        const QMetaProperty property = meta.property(meta.indexOfProperty("isUpdating"));
        QVERIFY(property.isReadable() && property.isWritable() && property.isStored());
        QVERIFY(property.isDesignable());
        const QMetaMethod signal = property.notifySignal();
        QCOMPARE(signal.methodSignature(), QByteArray("isUpdatingChanged(bool)"));
        QCOMPARE(signal.parameterNames(), QList<QByteArray>{"isUpdating"});
        const int setter = meta.indexOfSlot("setIsUpdating(bool)");
        QVERIFY(setter >= 0);
        QCOMPARE(meta.method(setter).access(), QMetaMethod::Public);
        QVERIFY(meta.indexOfSlot("setErrorMessage(QString)") >= 0);
        QVERIFY(meta.indexOfSlot("initialize()") >= 0);
    }

    // Views reach the setters only by name, through queued calls.
    void setterSlotsTakeQueuedCallsByName()
    {
        SampleViewModel model;
        QSignalSpy updating(&model, &SampleViewModel::isUpdatingChanged);
        QSignalSpy error(&model, &SampleViewModel::errorMessageChanged);
        QVERIFY(QMetaObject::invokeMethod(&model, "setIsUpdating", Qt::QueuedConnection,
                                          Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(&model, "setErrorMessage", Qt::QueuedConnection,
                                          Q_ARG(QString, QStringLiteral("failed"))));
        QCOMPARE(updating.count(), 0);
        QTRY_COMPARE(error.count(), 1);
        QCOMPARE(updating.count(), 1);
        QCOMPARE(model.isUpdating(), true);
        QCOMPARE(model.errorMessage(), QStringLiteral("failed"));
    }

    void setterEmitsOnlyOnChangeWithStoredValue()
    {
        SampleViewModel model;
        QSignalSpy spy(&model, &SampleViewModel::errorMessageChanged);
        model.setErrorMessage(QString());
        QCOMPARE(spy.count(), 0);
        model.setErrorMessage(QStringLiteral("failed"));
        model.setErrorMessage(QStringLiteral("failed"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("failed"));
        QCOMPARE(model.errorMessage(), QStringLiteral("failed"));
        QVERIFY(model.setProperty("errorMessage", QString()));
        QCOMPARE(spy.count(), 2);
    }

    void notifyAllSignalsSendsOwnPropertiesInOrder()
    {
        DerivedSampleViewModel model;
        model.setIsUpdating(true);
        QStringList order;
        connect(&model, &SampleViewModel::isUpdatingChanged, this,
                [&order] { order << QStringLiteral("isUpdating"); });
        QSignalSpy title(&model, &DerivedSampleViewModel::titleChanged);
        model.notifyAllSignals();
        // Only the most-derived class's own properties are announced.
        QVERIFY(order.isEmpty());
        QCOMPARE(title.count(), 1);
        QCOMPARE(title.at(0).at(0).toString(), QStringLiteral("start"));

        SampleViewModel base;
        base.setIsUpdating(true);
        QSignalSpy updating(&base, &SampleViewModel::isUpdatingChanged);
        QSignalSpy error(&base, &SampleViewModel::errorMessageChanged);
        QSignalSpy progress(&base, &SampleViewModel::progressChanged);
        QStringList emitted;
        connect(&base, &SampleViewModel::isUpdatingChanged, this, [&] { emitted << "a"; });
        connect(&base, &SampleViewModel::errorMessageChanged, this, [&] { emitted << "b"; });
        connect(&base, &SampleViewModel::progressChanged, this, [&] { emitted << "c"; });
        QMetaObject::invokeMethod(&base, "initialize");
        QCOMPARE(emitted, (QStringList{"a", "b", "c"}));
        QCOMPARE(updating.at(0).at(0).toBool(), true);
        QCOMPARE(error.at(0).at(0).toString(), QString());
        QCOMPARE(progress.at(0).at(0).toInt(), 7);
    }

    // Called from a thread other than the view model's, the notifications travel queued and
    // must carry type names the receiving side can look up.
    void notifyAllSignalsWorksAcrossThreads()
    {
        SampleViewModel model;
        model.setErrorMessage(QStringLiteral("failed"));
        QThread worker;
        model.moveToThread(&worker);
        worker.start();
        QSignalSpy error(&model, &SampleViewModel::errorMessageChanged);
        QSignalSpy progress(&model, &SampleViewModel::progressChanged);
        model.notifyAllSignals();
        QTRY_COMPARE(progress.count(), 1);
        QCOMPARE(error.at(0).at(0).toString(), QStringLiteral("failed"));
        QCOMPARE(progress.at(0).at(0).toInt(), 7);
        worker.quit();
        worker.wait();
    }

    void scopeGuardRunsOnceOnEveryExit()
    {
        int runs = 0;
        {
            OnLeavingScope guard([&runs] { ++runs; });
        }
        QCOMPARE(runs, 1);
        try {
            OnLeavingScope guard([&runs] { ++runs; });
            throw std::runtime_error("card gone");
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(runs, 2);
        {
            OnLeavingScope first([&runs] { ++runs; });
            OnLeavingScope second(std::move(first));
        }
        QCOMPARE(runs, 3);
    }

    void pinLengthBoundaries()
    {
        QVERIFY(!pinLengthIsValid(QString(3, '1')));
        QVERIFY(pinLengthIsValid(QString(4, '1')));
        QVERIFY(pinLengthIsValid(QString(15, '1')));
        QVERIFY(!pinLengthIsValid(QString(16, '1')));
        QVERIFY(!adminPinLengthIsValid(QString(7, '1')));
        QVERIFY(adminPinLengthIsValid(QString(8, '1')));
        QVERIFY(adminPinLengthIsValid(QString(20, '1')));
        QVERIFY(!adminPinLengthIsValid(QString(21, '1')));
        // Characters, not bytes: four two-byte letters are a valid PIN.
        QVERIFY(pinLengthIsValid(QStringLiteral("\u00e4\u00f6\u00fc\u00df")));
    }

    void derivedAdminPinPadsToEightAndNeverShortens()
    {
        QCOMPARE(calculateAdminPinFromPin(QStringLiteral("1234")), QStringLiteral("12340000"));
        QCOMPARE(calculateAdminPinFromPin(QStringLiteral("1234567")), QStringLiteral("12345670"));
        QCOMPARE(calculateAdminPinFromPin(QStringLiteral("12345678")), QStringLiteral("12345678"));
        QCOMPARE(calculateAdminPinFromPin(QStringLiteral("123456789012345")),
                 QStringLiteral("123456789012345"));
        // Padded in bytes, as vaultcli pads, or one could not reset a card the other activated.
        QCOMPARE(calculateAdminPinFromPin(QStringLiteral("\u00e4bc1")),
                 QStringLiteral("\u00e4bc1000"));
    }

    void secretCopyIsUtf8()
    {
        SecretUtf8 secret(QStringLiteral("\u00e41"));
        QCOMPARE(secret.str(), std::string("\xc3\xa4"
                                           "1"));
    }
};

QTEST_GUILESS_MAIN(ViewModelTest)
#include "viewmodel_test.moc"
