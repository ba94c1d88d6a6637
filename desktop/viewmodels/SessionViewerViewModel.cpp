#include "SessionViewerViewModel.h"

SessionViewerViewModel::SessionViewerViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                               QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void SessionViewerViewModel::initialize()
{
    runCardCall(this, [this] {
        notifyAllSignals();
        const std::vector<Session> sessions = deviceModel->getSessions();
        setAvailableSessions(SessionList(sessions.cbegin(), sessions.cend()));
        setHasQueriedSessions(true);
    });
}

void SessionViewerViewModel::switchSession(int row)
{
    const SessionList sessions = availableSessions();
    // A stale row (list refreshed meanwhile) must not reach past the list.
    if (row < 0 || row >= sessions.size())
        return setErrorMessage(tr("The selected session is no longer available"));
    runCardCall(this, [&] {
        deviceModel->switchToSession(static_cast<int>(sessions.at(row).id));
        emit switchSessionSucceeded();
    });
}
