#ifndef VAULTDESK_DEVICEMODELFACTORY_H
#define VAULTDESK_DEVICEMODELFACTORY_H

#include "Device.h"
#include "devicemodel.h"
#include "utils.h"

#include <QList>
#include <string>
#include <vector>

// Discovery of cards among the block devices. Tests override the virtual functions to scan
// image files instead of /dev.
class DeviceModelFactory
{
public:
    // Cards are looked for among the sd* nodes of deviceFolder.
    explicit DeviceModelFactory(QString deviceFolder = QStringLiteral("/dev"));
    virtual ~DeviceModelFactory();

    // The caller owns the model.
    virtual DeviceModel* createDeviceModel(const std::string& devicePath);
    virtual QList<Device> searchDevices();
    virtual QList<StorageInfo> mountedDevices();
    virtual std::vector<unsigned char> readDeviceIdentifier(const std::string& devicePath);

private:
    void switchToReadOnly(const std::string& devicePath);

    QString deviceFolder;
};

#endif
