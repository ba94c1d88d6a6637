#include "wipedevice.h"
#include "ui_wipedevice.h"

#include "wipeDeviceViewModel.h"

WipeDevice::WipeDevice(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::WipeDevice), viewModel(new WipeDeviceViewModel(model))
{
    ui->setupUi(this);
    const QString secret = hasSeparateAdminUser(*model) ? tr("Admin PIN") : tr("PIN");
    ui->lblLoginTitle->setText(ui->lblLoginTitle->text().arg(
        secret, QString::fromStdString(model->getDevicePath()), cardName));
    ui->lblPassword->setText(secret);
    decorateWindow();
    startViewModel(viewModel);

    connect(viewModel, &WipeDeviceViewModel::errorMessageChanged, ui->lblLoginError,
            &QLabel::setText);
    connect(viewModel, &WipeDeviceViewModel::wipeContentSucceeded, this, [this] {
        finishWithInformation(tr("Wipe Device Success"),
                              tr("Successfully wiped %1.").arg(cardName));
    });
    connectSecretForm(ui->loginButtonBox, ui->lineEditPassword, ui->lblLoginError, viewModel,
                      &WipeDeviceViewModel::wipeDevice);
}

WipeDevice::~WipeDevice() = default;
