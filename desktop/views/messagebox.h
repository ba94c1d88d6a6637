#pragma once

// Every modal box and file dialog of the views goes through these two classes, so that a test
// can answer them in advance instead of a user: queue the next answers, run the code, then read
// what was shown. Without a queued answer the real box or dialog runs.

#include <QFileDialog>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QString>

struct MessageBoxRequest
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title;
    QString text;
    Qt::TextFormat textFormat = Qt::AutoText;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // Texts that replace the standard ones, e.g. Yes shown as "Overwrite".
    QMap<QMessageBox::StandardButton, QString> buttonTexts;
    QString checkBoxText; // empty: the box has no check box
    bool checkBoxChecked = false;
};

struct MessageBoxAnswer
{
    // The button that closed the box; a box closed with Escape answers its escape button
    // (Cancel, else No, else the only button).
    QMessageBox::StandardButton button = QMessageBox::Ok;
    bool checkBoxChecked = false;
};

class MessageBox
{
public:
    static MessageBoxAnswer ask(QWidget* parent, const MessageBoxRequest& request);

    static void information(QWidget* parent, const QString& title, const QString& text,
                            Qt::TextFormat format = Qt::AutoText);
    static void warning(QWidget* parent, const QString& title, const QString& text);
    static void critical(QWidget* parent, const QString& title, const QString& text);
    static QMessageBox::StandardButton
    question(QWidget* parent, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No);

    // Test API. Answers are used in order, one per box; boxes are recorded either way.
    static void queueAnswer(const MessageBoxAnswer& answer);
    static void queueAnswer(QMessageBox::StandardButton button, bool checkBoxChecked = false);
    static int queuedAnswerCount();
    static QList<MessageBoxRequest> shownBoxes();
    static void clearShownBoxes();
};

class FileDialog
{
public:
    static QString getExistingDirectory(QWidget* parent, const QString& caption,
                                        const QString& directory = QString(),
                                        QFileDialog::Options options = QFileDialog::ShowDirsOnly);
    static QString getOpenFileName(QWidget* parent, const QString& caption,
                                   const QString& directory = QString(),
                                   const QString& filter = QString());

    // Test API. An empty answer stands for a cancelled dialog.
    static void queueAnswer(const QString& path);
    static int queuedAnswerCount();
    // Captions of the dialogs asked for so far.
    static QStringList shownCaptions();
    // The folders they opened at, in the same order.
    static QStringList shownDirectories();
    static void clearShownCaptions();
};
