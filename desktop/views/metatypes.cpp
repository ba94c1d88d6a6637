#include "metatypes.h"

#include "Device.h"
#include "mainviewmodel.h"

#include <QMetaType>

void registerVaultdeskMetaTypes()
{
    registerDeviceMetaTypes();
    qRegisterMetaType<MainView>("MainView");
}
