#pragma once

#include <QDialog>
#include <QThread>

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class VerifyBackupViewModel;

// Checks a backup folder against its checksum lists on a worker thread, with progress and
// Cancel, and ends on a page that lists what differs.
class VerifyBackup : public QDialog
{
    Q_OBJECT

public:
    explicit VerifyBackup(const QString& folder, QWidget* parent = nullptr);
    ~VerifyBackup() override;

    // While the check runs, Escape and the close button cancel it; the result page says so.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* createProgressPage(const QString& folder);
    QWidget* createResultPage(const QString& folder);
    void connectViewModel();
    void showResult(bool everythingMatches);
    void showOnlyText(const QString& text);
    void showResultPage();
    QString differencesText() const;

    QThread thread;
    VerifyBackupViewModel* viewModel;
    QStackedWidget* pages;
    QProgressBar* progressBar;
    QLabel* lblResult;
    QPlainTextEdit* textDetails;
    QDialogButtonBox* resultButtons;
    // The view model's lists as it announced them.
    QStringList changed;
    QStringList missing;
    QStringList unlisted;
    QStringList incomplete;
    int checked = 0;
    bool running = true;
};
