#pragma once

#include "ViewModel.h"

#include <memory>

class SessionViewerViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(SessionList, availableSessions, AvailableSessions, SessionList())
    VIEWMODEL_PROPERTY(bool, hasQueriedSessions, HasQueriedSessions, false)
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())

public:
    explicit SessionViewerViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                    QObject* parent = nullptr);

public Q_SLOTS:
    // Reads the card's session list.
    void initialize() override;
    // row: position in availableSessions, not a session id.
    void switchSession(int row);

Q_SIGNALS:
    void switchSessionSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
