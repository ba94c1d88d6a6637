#pragma once

#include "operationdialog.h"

#include "Session.h"

#include <memory>

class DeviceModel;
class SessionViewerViewModel;
namespace Ui {
class SessionViewer;
}

class SessionViewer : public OperationDialog
{
    Q_OBJECT

public:
    explicit SessionViewer(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~SessionViewer() override;

private:
    void showSessions(const SessionList& sessions);
    void switchSession(int row);
    // The mount point is read on the worker thread, then opened here.
    void openMountpointOfSession();
    void openMountpoint(const QString& mountpoint);

    std::unique_ptr<Ui::SessionViewer> ui;
    std::shared_ptr<DeviceModel> model;
    SessionViewerViewModel* viewModel;
};
