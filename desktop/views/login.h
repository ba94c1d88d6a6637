#pragma once

#include "operationdialog.h"

#include <QEventLoop>

#include <memory>

class DeviceModel;
class LoginViewModel;
namespace Ui {
class Login;
}

class Login : public OperationDialog
{
    Q_OBJECT

public:
    explicit Login(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~Login() override;

    // Returns Accepted at once, without showing the dialog, when the card needs no login.
    int exec() override;
    void reject() override;

private:
    enum class LoginCheck { Pending, Required, NotRequired };

    // The card's login state is read on the worker thread: another program's card lock can
    // hold the answer back for minutes, and the window must keep working meanwhile.
    void askWhetherLoginIsRequired();
    void answerLoginRequired(bool required);

    std::unique_ptr<Ui::Login> ui;
    LoginViewModel* viewModel;
    LoginCheck loginCheck = LoginCheck::Pending;
    QEventLoop loginCheckWait;
};
