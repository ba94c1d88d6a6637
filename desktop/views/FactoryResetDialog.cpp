#include "FactoryResetDialog.h"
#include "ui_FactoryResetDialog.h"

#include "FactoryResetViewModel.h"

FactoryResetDialog::FactoryResetDialog(const std::shared_ptr<DeviceModel>& model, QWidget* parent)
    : OperationDialog(parent), ui(new Ui::FactoryResetDialog),
      viewModel(new FactoryResetViewModel(model))
{
    ui->setupUi(this);
    const QString secret = hasSeparateAdminUser(*model) ? tr("Admin PIN") : tr("PIN");
    ui->lblTitle->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-size:11pt; "
           "font-weight:600;\">Factory Reset for %2 [%1]</span><br/></p><p align=\"justify\">A "
           "factory reset will wipe all data that is currently stored on the %2 and replace it "
           "with an empty file system. After the factory reset, the %2 will behave like a reguar "
           "storage device with no Data Protection features being active.</p><p "
           "align=\"justify\">The %3 is required to perform a factory reset. If you forgot your "
           "%3, please be aware that there is no way to recover the stored data and that the %2 "
           "will be unusable.</p><p align=\"justify\">Warning: all data that is currently stored "
           "on the %2 <span style=\" font-weight:600;\">will be deleted</span> during the reset. "
           "Ensure that all data has been backed up before resetting the device.</p></body></html>")
            .arg(QString::fromStdString(model->getDevicePath()), cardName, secret));
    ui->lblPassword->setText(secret);
    decorateWindow();
    startViewModel(viewModel);

    connect(viewModel, &FactoryResetViewModel::errorMessageChanged, ui->lblError, &QLabel::setText);
    connect(viewModel, &FactoryResetViewModel::factoryResetSucceeded, this, [this] {
        finishWithInformation(tr("Factory Reset Success"),
                              tr("Successfully reset %1.").arg(cardName));
    });
    connectSecretForm(ui->buttonBox, ui->lineEditPassword, ui->lblError, viewModel,
                      &FactoryResetViewModel::factoryReset);
}

FactoryResetDialog::~FactoryResetDialog() = default;
