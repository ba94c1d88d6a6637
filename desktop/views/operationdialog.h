#pragma once

#include "ViewModel.h"
#include "productnames.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QThread>

#include <string>

class QObject;
class WaitingSpinnerWidget;

// Base of the card operation dialogs. The dialog's view model runs on a thread of its own, so
// card calls never block the GUI; a spinner covers the dialog while the view model is busy.
class OperationDialog : public QDialog
{
    Q_OBJECT

public:
    // Stops the worker thread and waits for it; the thread deletes the view model.
    ~OperationDialog() override;

    // Refused while a card call runs: the dialog could only close by waiting for the card,
    // which another program's lock can hold for minutes.
    void reject() override;

protected:
    explicit OperationDialog(QWidget* parent);
    void showEvent(QShowEvent* event) override;

    // Window icon and no help button; called after the form is set up.
    void decorateWindow();

    // Puts the spinner over the dialog, moves the view model to the worker thread and starts
    // it. The view model's isUpdating drives the spinner.
    template <typename ViewModelType> void startViewModel(ViewModelType* viewModel)
    {
        moveToWorker(viewModel);
        connect(viewModel, &ViewModelType::isUpdatingChanged, this, &OperationDialog::showBusy);
    }

    void showBusy(bool busy);
    bool isBusy() const;

    // Information box with one OK button, then accept().
    void finishWithInformation(const QString& title, const QString& text);

    // A form with one secret: OK sends the field's text to the view model's operation, Cancel
    // rejects.
    template <typename ViewModelType>
    void connectSecretForm(QDialogButtonBox* buttons, QLineEdit* secret, QLabel* errorLabel,
                           ViewModelType* viewModel, void (ViewModelType::*operation)(QString))
    {
        guardSecret(secret, errorLabel, viewModel);
        connect(buttons, &QDialogButtonBox::accepted, this, [this, secret, viewModel, operation] {
            if (!mayBeSent())
                return;
            QMetaObject::invokeMethod(viewModel, [viewModel, operation, text = secret->text()] {
                (viewModel->*operation)(text);
            });
        });
        connect(buttons, &QDialogButtonBox::rejected, this, &OperationDialog::reject);
    }

    // The forms that take three PINs (change PIN, change Admin PIN, unblock) share one shape:
    // a title naming the card, an old (or Admin) PIN, a new PIN and its repetition.
    template <typename Form, typename ViewModelType>
    void setUpThreePinForm(Form& form, const std::string& devicePath, ViewModelType* viewModel,
                           void (ViewModelType::*operation)(const QString&, const QString&,
                                                            const QString&),
                           const QString& okText)
    {
        form.setupUi(this);
        form.lblTitle->setText(
            form.lblTitle->text().arg(QString::fromStdString(devicePath), cardName));
        form.buttonBox->button(QDialogButtonBox::Ok)->setText(okText);
        decorateWindow();
        startViewModel(viewModel);
        connect(viewModel, &ViewModelType::errorMessageChanged, form.lblError, &QLabel::setText);
        guardSecret(form.lineEditOldPin, form.lblError, viewModel);
        connect(form.buttonBox, &QDialogButtonBox::accepted, this,
                [this, &form, viewModel, operation] {
                    if (!mayBeSent())
                        return;
                    QMetaObject::invokeMethod(
                        viewModel, [viewModel, operation, oldPin = form.lineEditOldPin->text(),
                                    newPin = form.lineEditNewPin->text(),
                                    repeat = form.lineEditReEnterNewPin->text()] {
                            (viewModel->*operation)(oldPin, newPin, repeat);
                        });
                });
        connect(form.buttonBox, &QDialogButtonBox::rejected, this, &OperationDialog::reject);
    }

    // The field whose secret the card checks. Each try costs one of the card's few: after a
    // refusal the field keeps its text, selected and with the focus, and that same text is
    // not sent again; errorLabel says why instead.
    void guardSecret(QLineEdit* field, QLabel* errorLabel, ViewModel* viewModel);
    // False, with the reason shown, while the guarded field holds the refused secret.
    bool mayBeSent();

    // Shows the page with its accepting button as the one Enter presses.
    void showPage(QStackedWidget* pages, QWidget* page);

private:
    void moveToWorker(QObject* viewModel);
    void noteRefusal();
    void restoreFocus();

    QThread workerThread;
    WaitingSpinnerWidget* spinner = nullptr;
    QLineEdit* guardedSecret = nullptr;
    QLabel* refusalLabel = nullptr;
    QString refusedSecret;
    // Disabled while busy, the dialog loses its focus; it goes back where it was.
    QPointer<QWidget> focusBeforeBusy;
};
