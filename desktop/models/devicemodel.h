#ifndef VAULTDESK_DEVICEMODEL_H
#define VAULTDESK_DEVICEMODEL_H

#include "Session.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>
#include <vector>

// Form factor, read from byte 3 of the card's CID.
enum DeviceTypes : int { MicroSdCard = 0, SdCard = 1, UnknownCard = 2 };

// Identification generation; only Ccv2 cards are handled by this application.
enum FirmwareType : int { Ccv1 = 0, Ccv2 = 1 };

class DeviceException : public std::runtime_error
{
public:
    // Generic message with the code and the current errno.
    explicit DeviceException(int code);
    DeviceException(int code, const std::string& message);

    int errorCode;   // API result code, -1 for a failed sector read
    int systemError; // errno for the code-only constructor, else 0

private:
    DeviceException(int code, int error, const std::string& message);
};

// Status snapshot for the device information dialog.
struct DeviceInfo
{
    DeviceInfo() = default;
    DeviceInfo(std::string serialNumber, unsigned int firmwareVersion, unsigned int systemState,
               unsigned int userPinRetries, unsigned int adminPinRetries,
               unsigned int securityFlags, unsigned int incompatibilityFlag);

    std::string serialNumber; // controller identifier, lower-case hex
    unsigned int firmwareVersion = 0;
    unsigned int systemState = 0; // tresora_ac_state
    unsigned int userPinRetries = 0;
    unsigned int adminPinRetries = 0;
    unsigned int securityFlags = 0;
    unsigned int incompatibilityFlag = 0;
};

Q_DECLARE_METATYPE(DeviceInfo)

// One card, operated synchronously. Every operation that contacts the card announces it
// through deviceIsBusyChanged and raises DeviceException on failure.
class DeviceModel : public QObject
{
    Q_OBJECT
public:
    explicit DeviceModel(QObject* parent = nullptr);
    ~DeviceModel() override;

    virtual void login(const std::string& pin) = 0;
    virtual bool isLoggedIn() = 0;
    virtual void activate(const std::string& pin, const std::string& adminPin,
                          unsigned int securityFlags) = 0;
    virtual void reset(const std::string& pin) = 0; // wipes the card content
    virtual void factoryReset(const std::string& pin) = 0;
    virtual void changePin(const std::string& pin, const std::string& newPin) = 0;
    virtual void unblockPin(const std::string& adminPin, const std::string& newPin) = 0;
    virtual void changeAdminPin(const std::string& adminPin, const std::string& newAdminPin) = 0;
    virtual std::vector<Session> getSessions() = 0;
    virtual void switchToSession(int id) = 0;
    virtual void discardCurrentSession() = 0;
    virtual void startNewSession() = 0;
    virtual bool isActivated() = 0;
    virtual void setReadOnly() = 0;
    virtual void setReadWrite() = 0;
    virtual void umount() = 0;
    virtual unsigned int remainingUserPinRetries() = 0;
    virtual unsigned int remainingSecurityOfficerPinRetries() = 0;
    virtual std::string getDevicePath() = 0;
    virtual QString getDeviceMountpoint() = 0;
    virtual bool isConnectedToSystem() = 0;
    virtual DeviceInfo deviceInfo() = 0;
    virtual void setBusy(bool busy);
    // Turns an API result code into a DeviceException with a user-facing message.
    virtual void throwOnError(int result, bool useAdminRetries, bool adminWording);

    static DeviceTypes deviceTypeFromCID(const std::string& cid);
    // 1,024 bytes: the sector's 512 bytes followed by 512 zero bytes.
    static std::vector<unsigned char> readDeviceSector(const std::string& path,
                                                       unsigned int sector);
    // The identification sector (26, else 13), or 512 zero bytes when neither carries one.
    static std::vector<unsigned char> readDeviceIdentifier(const std::string& path);

    // Bit 0x02: the card has a separate Admin user. Set by the owner before reset/factoryReset.
    unsigned int securityFlags = 0;

signals:
    void deviceIsBusyChanged(bool busy);
};

class DeviceModelImpl : public DeviceModel
{
    Q_OBJECT
public:
    explicit DeviceModelImpl(const std::string& devicePath);

    void login(const std::string& pin) override;
    bool isLoggedIn() override;
    void activate(const std::string& pin, const std::string& adminPin,
                  unsigned int securityFlags) override;
    void reset(const std::string& pin) override;
    void factoryReset(const std::string& pin) override;
    void changePin(const std::string& pin, const std::string& newPin) override;
    void unblockPin(const std::string& adminPin, const std::string& newPin) override;
    void changeAdminPin(const std::string& adminPin, const std::string& newAdminPin) override;
    std::vector<Session> getSessions() override;
    void switchToSession(int id) override;
    void discardCurrentSession() override;
    void startNewSession() override;
    bool isActivated() override;
    void setReadOnly() override;
    void setReadWrite() override;
    void umount() override;
    unsigned int remainingUserPinRetries() override;
    unsigned int remainingSecurityOfficerPinRetries() override;
    std::string getDevicePath() override;
    QString getDeviceMountpoint() override;
    bool isConnectedToSystem() override;
    DeviceInfo deviceInfo() override;

private:
    struct Status
    {
        unsigned int state = 0;
        unsigned int readOnly = 0;
        unsigned int pinRetries = 0;
        unsigned int adminPinRetries = 0;
        unsigned int securityFlags = 0;
    };
    class BusyScope;
    Status readStatus();

    std::string devicePath;
    int busyDepth = 0; // nested operations (a status query inside throwOnError) signal once
};

// Stand-in without hardware for development; the delivered application never creates one.
class FakeDeviceModel : public DeviceModel
{
    Q_OBJECT
public:
    static constexpr const char* acceptedPin = "1234";
    static constexpr const char* refusedPin = "4321";

    explicit FakeDeviceModel(const std::string& devicePath);

    void login(const std::string& pin) override;
    bool isLoggedIn() override;
    void activate(const std::string& pin, const std::string& adminPin,
                  unsigned int securityFlags) override;
    void reset(const std::string& pin) override;
    void factoryReset(const std::string& pin) override;
    void changePin(const std::string& pin, const std::string& newPin) override;
    void unblockPin(const std::string& adminPin, const std::string& newPin) override;
    void changeAdminPin(const std::string& adminPin, const std::string& newAdminPin) override;
    std::vector<Session> getSessions() override;
    void switchToSession(int id) override;
    void discardCurrentSession() override;
    void startNewSession() override;
    bool isActivated() override;
    void setReadOnly() override;
    void setReadWrite() override;
    void umount() override;
    unsigned int remainingUserPinRetries() override;
    unsigned int remainingSecurityOfficerPinRetries() override;
    std::string getDevicePath() override;
    QString getDeviceMountpoint() override;
    bool isConnectedToSystem() override;
    DeviceInfo deviceInfo() override;

private:
    std::string devicePath;
    bool loggedIn = false;
};

#endif
