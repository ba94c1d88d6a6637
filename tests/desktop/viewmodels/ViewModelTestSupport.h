#pragma once

// Test doubles and thread helpers shared by the view-model suites.

#include "devicemodel.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// DeviceModel that records every call as "name arg..." and fails on demand.
class ScriptedDeviceModel : public DeviceModel
{
public:
    explicit ScriptedDeviceModel(std::string path = "/dev/sdz1") : devicePath(std::move(path)) {}

    QStringList calls() const
    {
        QMutexLocker lock(&mutex);
        return recorded;
    }
    // The named operation throws this exception from now on.
    void failWith(const QString& operation, std::function<void()> thrower)
    {
        QMutexLocker lock(&mutex);
        failures.insert(operation, std::move(thrower));
    }
    void failWithDeviceError(const QString& operation, const std::string& message,
                             int code = 0x6F02)
    {
        failWith(operation, [message, code] { throw DeviceException(code, message); });
    }
    int callCount(const QString& operation) const
    {
        const QStringList all = calls();
        int count = 0;
        for (const QString& call : all)
            count += call.section(' ', 0, 0) == operation ? 1 : 0;
        return count;
    }

    std::atomic<bool> loggedIn{false};
    std::atomic<bool> connected{true};
    std::vector<Session> sessions;
    DeviceInfo info;
    QString mountpoint;

    void login(const std::string& pin) override { record("login", {pin}); }
    bool isLoggedIn() override
    {
        record("isLoggedIn");
        return loggedIn;
    }
    void activate(const std::string& pin, const std::string& adminPin, unsigned int flags) override
    {
        record("activate", {pin, adminPin, std::to_string(flags)});
    }
    void reset(const std::string& pin) override { record("reset", {pin}); }
    void factoryReset(const std::string& pin) override { record("factoryReset", {pin}); }
    void changePin(const std::string& pin, const std::string& newPin) override
    {
        record("changePin", {pin, newPin});
    }
    void unblockPin(const std::string& adminPin, const std::string& newPin) override
    {
        record("unblockPin", {adminPin, newPin});
    }
    void changeAdminPin(const std::string& adminPin, const std::string& newAdminPin) override
    {
        record("changeAdminPin", {adminPin, newAdminPin});
    }
    std::vector<Session> getSessions() override
    {
        record("getSessions");
        return sessions;
    }
    void switchToSession(int id) override { record("switchToSession", {std::to_string(id)}); }
    void discardCurrentSession() override { record("discardCurrentSession"); }
    void startNewSession() override { record("startNewSession"); }
    bool isActivated() override
    {
        record("isActivated");
        return true;
    }
    void setReadOnly() override { record("setReadOnly"); }
    void setReadWrite() override { record("setReadWrite"); }
    void umount() override { record("umount"); }
    unsigned int remainingUserPinRetries() override
    {
        record("remainingUserPinRetries");
        return 3;
    }
    unsigned int remainingSecurityOfficerPinRetries() override
    {
        record("remainingSecurityOfficerPinRetries");
        return 5;
    }
    std::string getDevicePath() override { return devicePath; }
    QString getDeviceMountpoint() override
    {
        record("getDeviceMountpoint");
        return mountpoint;
    }
    bool isConnectedToSystem() override
    {
        record("isConnectedToSystem");
        return connected;
    }
    DeviceInfo deviceInfo() override
    {
        record("deviceInfo");
        return info;
    }
    void setBusy(bool busy) override
    {
        record("setBusy", {busy ? "true" : "false"});
        DeviceModel::setBusy(busy);
    }

private:
    void record(const QString& operation, const std::vector<std::string>& args = {})
    {
        std::function<void()> thrower;
        {
            QMutexLocker lock(&mutex);
            QString call = operation;
            for (const std::string& arg : args)
                call += ' ' + QString::fromStdString(arg);
            recorded << call;
            thrower = failures.value(operation);
        }
        if (thrower)
            thrower();
    }

    std::string devicePath;
    mutable QMutex mutex;
    QStringList recorded;
    QMap<QString, std::function<void()>> failures;
};

// Runs a view model on a thread of its own, as the dialogs do, and deletes it when the thread
// ends. Reads of state that the worker writes go through run() so they are ordered with it.
class WorkerThread
{
public:
    explicit WorkerThread(QObject* object) : object(object)
    {
        object->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, object, &QObject::deleteLater);
        thread.start();
    }
    ~WorkerThread()
    {
        thread.quit();
        thread.wait();
    }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs f on the worker after everything queued before it.
    template <typename F> auto run(F f) -> decltype(f())
    {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            object, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
    // Returns once every invocation queued so far has finished on the worker.
    void sync()
    {
        QMetaObject::invokeMethod(
            object, [] {}, Qt::BlockingQueuedConnection);
    }
    QThread* qthread() { return &thread; }

private:
    QObject* object;
    QThread thread;
};

// Ordered, thread-safe log of emissions from several signals.
class EventLog
{
public:
    template <typename Sender, typename Signal>
    void watch(Sender* sender, Signal signal, const QString& name)
    {
        QObject::connect(
            sender, signal, sender,
            [this, name](auto... args) { append(name + describe(args...)); }, Qt::DirectConnection);
    }
    QStringList events() const
    {
        QMutexLocker lock(&mutex);
        return log;
    }
    void append(const QString& event)
    {
        QMutexLocker lock(&mutex);
        log << event;
    }

private:
    static QString describe() { return QString(); }
    static QString describe(bool value) { return value ? " true" : " false"; }
    static QString describe(const QString& value) { return ' ' + value; }
    template <typename T> static QString describe(const T&) { return QString(); }

    mutable QMutex mutex;
    QStringList log;
};
