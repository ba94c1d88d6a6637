#include "ViewModel.h"

#include "CardManagement.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

ViewModel::ViewModel(QObject* parent) : QObject(parent) {}

void ViewModel::initialize()
{
    notifyAllSignals();
}

void ViewModel::notifyAllSignals()
{
    const QMetaObject* meta = metaObject();
    for (int index = meta->propertyOffset(); index < meta->propertyCount(); ++index) {
        const QMetaProperty property = meta->property(index);
        const QMetaMethod notifySignal = property.notifySignal();
        if (notifySignal.parameterCount() != 1)
            continue;
        const QVariant value = property.read(this);
        // The argument carries the property's type name: a queued delivery (a caller on another
        // thread) looks the type up by that name to copy the value.
        if (!value.isValid() ||
            !notifySignal.invoke(this, Qt::AutoConnection,
                                 QGenericArgument(property.typeName(), value.constData()))) {
            std::fputs("Failed to invoke property.notifySignal()!\n", stderr);
            std::abort();
        }
    }
}

// lupdate cannot follow a context chosen at run time; these entries put every shared text
// into the context of each view model that shows it.
[[maybe_unused]] static const char* const sharedCheckTexts[] = {
    QT_TRANSLATE_NOOP("FactoryResetViewModel", "Admin PIN must be 8-20 characters long"),
    QT_TRANSLATE_NOOP("FactoryResetViewModel", "PIN must be 4-15 characters long"),
    QT_TRANSLATE_NOOP("WipeDeviceViewModel", "Admin PIN must be 8-20 characters long"),
    QT_TRANSLATE_NOOP("WipeDeviceViewModel", "PIN must be 4-15 characters long"),
    QT_TRANSLATE_NOOP("ChangePinViewModel", "New PIN must be 4-15 characters long"),
    QT_TRANSLATE_NOOP("ChangePinViewModel", "PIN & re-entered PIN do not match"),
    QT_TRANSLATE_NOOP("UnblockPinViewModel", "New PIN must be 4-15 characters long"),
    QT_TRANSLATE_NOOP("UnblockPinViewModel", "PIN & re-entered PIN do not match"),
};

QString ViewModel::trInOwnContext(const char* text) const
{
    return QCoreApplication::translate(metaObject()->className(), text);
}

QString ViewModel::pinOrAdminPinLengthError(const DeviceModel& deviceModel,
                                            const QString& secret) const
{
    if (hasSeparateAdminUser(deviceModel))
        return adminPinLengthIsValid(secret)
                   ? QString()
                   : trInOwnContext("Admin PIN must be 8-20 characters long");
    return pinLengthIsValid(secret) ? QString()
                                    : trInOwnContext("PIN must be 4-15 characters long");
}

QString ViewModel::newPinError(const QString& newPin, const QString& newPinRepeat) const
{
    if (!pinLengthIsValid(newPin))
        return trInOwnContext("New PIN must be 4-15 characters long");
    if (newPin != newPinRepeat)
        return trInOwnContext("PIN & re-entered PIN do not match");
    return QString();
}

bool hasSeparateAdminUser(const DeviceModel& deviceModel)
{
    return deviceModel.securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
}

QString deviceErrorText(const std::exception& error)
{
    return QString::fromUtf8(error.what());
}

bool isSecretRefusal(const DeviceException& error)
{
    return error.errorCode == TRESORA_AC_SW_WRONG_PIN ||
           error.errorCode == TRESORA_AC_SW_RETRIES_EXCEEDED ||
           error.errorCode == TRESORA_AC_SW_BLOCKED;
}

// Counted in characters of the text, as the length texts speak of characters.
bool pinLengthIsValid(const QString& pin)
{
    return tresora_ac_pinLengthIsValid(static_cast<uint32_t>(pin.size()));
}

bool adminPinLengthIsValid(const QString& pin)
{
    return tresora_ac_adminPinLengthIsValid(static_cast<uint32_t>(pin.size()));
}

// Derived from the UTF-8 bytes the card receives, as vaultcli derives it.
QString calculateAdminPinFromPin(const QString& pin)
{
    const SecretUtf8 pinBytes(pin);
    const std::string& bytes = pinBytes.str();
    uint32_t length = TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(static_cast<uint32_t>(bytes.size()));
    SecretUtf8 adminPin(length);
    tresora_ac_calculateAdminPinFromPin(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<uint32_t>(bytes.size()), adminPin.data(),
                                        &length);
    return QString::fromUtf8(adminPin.str().data(), static_cast<int>(length));
}

SecretUtf8::SecretUtf8(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    m_value.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
    utf8.fill('\0');
}

SecretUtf8::SecretUtf8(std::size_t size) : m_value(size, '\0') {}

SecretUtf8::~SecretUtf8()
{
    // Through a volatile pointer so the store is not dropped as dead before the free.
    volatile char* bytes = m_value.data();
    for (size_t i = 0; i < m_value.size(); ++i)
        bytes[i] = '\0';
}
