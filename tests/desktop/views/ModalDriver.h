#pragma once

// Acts on modal windows as a user would once they are on screen: a modal dialog runs its own
// event loop, so the test's next steps are handed to a timer that looks for the window.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDriver : public QObject
{
public:
    // Runs act once on the first visible modal window that is not `except`.
    void whenShown(std::function<void(QWidget*)> act, const QWidget* except = nullptr)
    {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, act = std::move(act), except] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window || window == except || !window->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            act(window);
        });
        poll->start(10);
    }
};
