#include "login.h"
#include "ui_login.h"

#include "loginviewmodel.h"

#include <QTimer>

namespace {
// A card answers its login state at once unless another program holds it; only then does the
// dialog show itself early, busy, until the answer arrives.
constexpr int loginCheckGraceMs = 300;
} // namespace

Login::Login(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::Login), viewModel(new LoginViewModel(model))
{
    ui->setupUi(this);
    ui->lblTitle->setText(ui->lblTitle->text().arg(cardName));
    ui->lblSuccess->setText(ui->lblSuccess->text().arg(cardName));
    ui->loginButtonBox->button(QDialogButtonBox::Ok)->setText(tr("Login"));
    decorateWindow();
    startViewModel(viewModel);

    connect(viewModel, &LoginViewModel::loginErrorMessageChanged, ui->lblError, &QLabel::setText);
    connect(viewModel, &LoginViewModel::loginSucceeded, this, [this] {
        showPage(ui->stackedWidget, ui->LoginSuccess);
        ui->successButtonBox->button(QDialogButtonBox::Ok)->setFocus();
    });
    connectSecretForm(ui->loginButtonBox, ui->lineEditPin, ui->lblError, viewModel,
                      &LoginViewModel::login);
    connect(ui->successButtonBox, &QDialogButtonBox::accepted, this, &Login::accept);
}

Login::~Login() = default;

// The login is done: closing the success page goes on, it must not abandon what follows.
void Login::reject()
{
    if (ui->stackedWidget->currentWidget() == ui->LoginSuccess)
        accept();
    else
        OperationDialog::reject();
}

int Login::exec()
{
    askWhetherLoginIsRequired();
    QTimer grace;
    grace.setSingleShot(true);
    connect(&grace, &QTimer::timeout, &loginCheckWait, &QEventLoop::quit);
    grace.start(loginCheckGraceMs);
    // Paints keep coming; clicks elsewhere wait until the dialog or its answer is there.
    loginCheckWait.exec(QEventLoop::ExcludeUserInputEvents);
    if (loginCheck == LoginCheck::NotRequired)
        return Accepted;
    return OperationDialog::exec();
}

void Login::askWhetherLoginIsRequired()
{
    loginCheck = LoginCheck::Pending;
    showBusy(true);
    QMetaObject::invokeMethod(viewModel, [this, vm = viewModel] {
        const bool required = vm->isLoginRequired();
        QMetaObject::invokeMethod(
            this, [this, required] { answerLoginRequired(required); }, Qt::QueuedConnection);
    });
}

void Login::answerLoginRequired(bool required)
{
    loginCheck = required ? LoginCheck::Required : LoginCheck::NotRequired;
    showBusy(false);
    loginCheckWait.quit();
    if (!required && isVisible())
        accept();
    else if (required)
        ui->lineEditPin->setFocus();
}
