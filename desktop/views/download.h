#pragma once

#include <QDialog>
#include <QString>
#include <QThread>

#include <memory>

class DeviceModel;
class DownloadViewModel;
class WaitingSpinnerWidget;
class Ui_Download;

// Backs up every recorded session of a card into a folder the user picks. The PIN is asked
// first through the login dialog; the copy runs on a worker thread of the dialog's own.
class Download : public QDialog
{
    Q_OBJECT

public:
    Download(QString mountPoint, std::shared_ptr<DeviceModel> device, QDialog* parent = nullptr);
    ~Download() override;

    // Runs the login dialog first; when it is not accepted, returns Rejected without showing
    // this dialog.
    int exec() override;
    void done(int result) override;

public Q_SLOTS:
    // The card went away. A running backup ends on its error page, which says so; the page a
    // run ended on stays; a dialog that ran nothing closes.
    void deviceRemoved();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class ConflictAnswer { Replace, Keep, Cancel };
    struct ConflictReply
    {
        ConflictAnswer answer;
        bool applyToAll;
    };

    void setUpTexts();
    void connectViewModel();
    void connectButtons();
    void showPage(QWidget* page);
    void showEndPage(QWidget* page);
    void growToFit(QWidget* page);
    void startRun();
    // The folder picker, opened at current (else at the folder last used); empty when cancelled.
    QString askForFolder(const QString& current);
    void pickFolder();
    void pickMirrorFolder();
    void openFolder(const QString& folder);
    void showSuccessTitle(bool warning);
    void answerFileConflict(const QString& path);
    void answerFolderConflict(const QString& path);
    ConflictReply askConflict(const QString& title, const QString& text, const QString& replaceText,
                              const QString& applyToAllText);
    void applyReply(const ConflictReply& reply, void (DownloadViewModel::*setCurrent)(bool),
                    void (DownloadViewModel::*setAll)(bool),
                    void (DownloadViewModel::*setNone)(bool));
    // Cancels a running copy and lets a question that waits for this dialog go unanswered,
    // so that the worker can end.
    void stopWorker();

    Ui_Download* ui;
    QThread thread;
    std::shared_ptr<DeviceModel> device;
    DownloadViewModel* viewModel;
    WaitingSpinnerWidget* spinner;
    QString destination; // as the view model last announced it
    QString mirrorDestination;
    QString backupPath;
    QString mirrorBackupPath;
    bool running = false;
    bool ranBackup = false; // its end page is the user's to close
};
