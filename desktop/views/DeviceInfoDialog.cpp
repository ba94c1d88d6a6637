#include "DeviceInfoDialog.h"
#include "ui_DeviceInfoDialog.h"

#include "CardManagement.h"
#include "DeviceInfoViewModel.h"

namespace {
QString firmwareVersionText(unsigned int version)
{
    return QStringLiteral("%1.%2.%3")
        .arg(version >> 16)
        .arg((version >> 8) & 0xFF)
        .arg(version & 0xFF);
}
} // namespace

DeviceInfoDialog::DeviceInfoDialog(const std::shared_ptr<DeviceModel>& model, QWidget* parent)
    : OperationDialog(parent), ui(new Ui::DeviceInfoDialog),
      viewModel(new DeviceInfoViewModel(model))
{
    ui->setupUi(this);
    ui->lblTitle->setText(
        ui->lblTitle->text().arg(QString::fromStdString(model->getDevicePath()), cardName));
    decorateWindow();
    startViewModel(viewModel);

    connect(viewModel, &DeviceInfoViewModel::errorMessageChanged, ui->lblError, &QLabel::setText);
    connect(viewModel, &DeviceInfoViewModel::deviceInfoChanged, this,
            &DeviceInfoDialog::showDeviceInfo);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DeviceInfoDialog::reject);
    QMetaObject::invokeMethod(viewModel, &DeviceInfoViewModel::initialize);
}

DeviceInfoDialog::~DeviceInfoDialog() = default;

void DeviceInfoDialog::showDeviceInfo(const DeviceInfo& info)
{
    if (info.serialNumber.empty()) {
        ui->lblDeviceInfo->clear();
        return;
    }
    const bool separateAdmin = info.securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    ui->lblDeviceInfo->setText(
        tr("<html><head><style> td { padding-right: 10px; } </style></head><body><div><table><tr>"
           "<td>Serial Number:</td><td>%1</td></tr><tr><td>Firmware Version:</td><td>%2</td></tr>"
           "<tr><td>System State:</td><td>%3</td></tr><tr><td>%4:</td><td>%5</td></tr><tr><td>%6:"
           "</td><td>%7</td></tr><tr><td>Security Flags:</td><td>%8</td></tr><tr><td>"
           "Incompatibility Flag:</td><td>0x%9</td></tr></table></div></body></html>")
            .arg(QString::fromStdString(info.serialNumber),
                 firmwareVersionText(info.firmwareVersion), QString::number(info.systemState),
                 separateAdmin ? tr("PIN Retry Counter") : tr("Login Retry Counter"),
                 QString::number(info.userPinRetries),
                 separateAdmin ? tr("Admin PIN Retry Counter") : tr("Factory Reset Retry Counter"),
                 QString::number(info.adminPinRetries), QString::number(info.securityFlags),
                 QString::number(info.incompatibilityFlag, 16)));
}
