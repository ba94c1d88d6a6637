#pragma once

#include <QApplication>

class SingleApplicationPrivate;

// Application object that lets one primary instance run per key: a later start becomes a
// secondary instance and announces itself to the primary, which emits instanceStarted().
// A primary that crashed or stopped answering is replaced by the next start.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    enum Mode : uint {
        User = 0x01,                  // one primary per user; the server is private to them
        System = 0x02,                // one primary for all users (the default without User)
        SecondaryNotification = 0x04, // the primary hears about secondary starts
        ExcludeAppVersion = 0x08,     // the version is not part of the key
        ExcludeAppPath = 0x10,        // the program's path is not part of the key
    };
    Q_DECLARE_FLAGS(Options, Mode)

    SingleApplication(int& argc, char** argv, bool allowSecondary = false,
                      Options options = Mode::User, int timeout = 1000);
    ~SingleApplication() override;

    bool isPrimary() const;
    bool isSecondary() const;
    uint instanceId() const;
    qint64 primaryPid() const;
    QString primaryUser() const;
    QString currentUser() const;
    // Secondary only: sends bytes to the primary, which emits receivedMessage().
    bool sendMessage(const QByteArray& message, int timeout = 100);

    // Name of the shared block and of the primary's server for the given options, computed
    // from the application's names as they are set now.
    static QString instanceKey(Options options);

Q_SIGNALS:
    void instanceStarted();
    void receivedMessage(uint instanceId, QByteArray message);

private:
    SingleApplicationPrivate* d_ptr;
    Q_DECLARE_PRIVATE(SingleApplication)
    void abortSafely();
    void openSharedBlock();
    void waitForConsistentBlock();
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SingleApplication::Options)
