#include "loginviewmodel.h"

LoginViewModel::LoginViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

bool LoginViewModel::isLoginRequired()
{
    try {
        return !deviceModel->isLoggedIn();
    } catch (const DeviceException&) {
        return false;
    }
}

void LoginViewModel::login(QString pin)
{
    // A success keeps the previous error text: the dialog leaves the form for its success page.
    runCardCall(
        this, [this](const QString& error) { setLoginErrorMessage(error); },
        [&] {
            deviceModel->login(SecretUtf8(pin));
            emit loginSucceeded();
        });
}
