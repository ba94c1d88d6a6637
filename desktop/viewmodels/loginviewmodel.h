#pragma once

#include "ViewModel.h"

#include <memory>

class LoginViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, loginErrorMessage, LoginErrorMessage, QString())
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)

public:
    explicit LoginViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent = nullptr);

    // Asks the card directly (GUI thread); a card that cannot answer asks for no login.
    bool isLoginRequired();

public Q_SLOTS:
    void login(QString pin);

Q_SIGNALS:
    void loginSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
