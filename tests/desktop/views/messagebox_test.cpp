#include "messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class MessageBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        MessageBox::clearShownBoxes();
        FileDialog::clearShownCaptions();
    }

    void queuedAnswersAreUsedInOrderAndEveryBoxIsRecorded()
    {
        MessageBox::queueAnswer(QMessageBox::No, true);
        MessageBox::queueAnswer(QMessageBox::Yes);
        MessageBoxRequest request;
        request.title = QStringLiteral("File Conflict");
        request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        request.checkBoxText = QStringLiteral("Apply this action to all files");
        const MessageBoxAnswer first = MessageBox::ask(nullptr, request);
        QCOMPARE(first.button, QMessageBox::No);
        QVERIFY(first.checkBoxChecked);
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("t"), QStringLiteral("q")),
                 QMessageBox::Yes);
        QCOMPARE(MessageBox::queuedAnswerCount(), 0);
        const QList<MessageBoxRequest> shown = MessageBox::shownBoxes();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].checkBoxText, request.checkBoxText);
        QCOMPARE(shown[1].icon, QMessageBox::Question);
    }

    // Without a queued answer the real box runs, with relabelled buttons and the check box.
    void realBoxShowsCustomButtonsAndCheckBox_data()
    {
        QTest::addColumn<bool>("pressEscape");
        QTest::addColumn<int>("expectedButton");
        QTest::newRow("Skip clicked") << false << int(QMessageBox::No);
        QTest::newRow("Escape counts as Cancel") << true << int(QMessageBox::Cancel);
    }
    void realBoxShowsCustomButtonsAndCheckBox()
    {
        QFETCH(bool, pressEscape);
        QFETCH(int, expectedButton);
        MessageBoxRequest request;
        request.icon = QMessageBox::Question;
        request.text = QStringLiteral("The file /x already exists.");
        request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        request.buttonTexts = {{QMessageBox::Yes, QStringLiteral("Overwrite")},
                               {QMessageBox::No, QStringLiteral("Skip")},
                               {QMessageBox::Cancel, QStringLiteral("Cancel Download")}};
        request.checkBoxText = QStringLiteral("Apply this action to all files");
        QStringList seenButtons;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* button : box->buttons())
                seenButtons.append(button->text());
            box->checkBox()->setChecked(true);
            if (pressEscape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::No)->click();
        });
        const MessageBoxAnswer answer = MessageBox::ask(nullptr, request);
        seenButtons.sort();
        QCOMPARE(seenButtons, (QStringList{"Cancel Download", "Overwrite", "Skip"}));
        QCOMPARE(int(answer.button), expectedButton);
        QVERIFY(answer.checkBoxChecked);
    }

    void fileDialogAnswersComeFromTheQueue()
    {
        FileDialog::queueAnswer(QStringLiteral("/var/tmp/backup"));
        FileDialog::queueAnswer(QString());
        QCOMPARE(FileDialog::getExistingDirectory(nullptr, QStringLiteral("Pick")),
                 QStringLiteral("/var/tmp/backup"));
        QVERIFY(FileDialog::getExistingDirectory(nullptr, QStringLiteral("Again")).isEmpty());
        QCOMPARE(FileDialog::shownCaptions(), (QStringList{"Pick", "Again"}));
    }
};

QTEST_MAIN(MessageBoxTest)
#include "messagebox_test.moc"
