#pragma once

#include "devicemodel.h"

#include <QObject>
#include <QString>

#include <string>
#include <utility>

// Setters compare before they store, so a view only hears about real changes. Value types
// without a meaningful equality can provide an overload of this function that answers false.
template <typename T> bool isSamePropertyValue(const T& stored, const T& incoming)
{
    return stored == incoming;
}

// One Qt property with the view-model convention: member, read accessor, notify signal
// "<name>Changed(Type name)" and public setter slot "set<Name>(Type _arg_<name>)" that emits
// only on change. moc expands the macro, so the property, signal and slot are real meta-object
// members. The notify signal's parameter must carry a name: notifyAllSignals() passes it on.
// Leaves the class in the private section.
#define VIEWMODEL_PROPERTY(Type, name, Name, initialValue)                                         \
    Q_PROPERTY(                                                                                    \
        Type name READ name WRITE set##Name NOTIFY name##Changed STORED true DESIGNABLE true)      \
                                                                                                   \
public:                                                                                            \
    Type name() const                                                                              \
    {                                                                                              \
        return m_##name;                                                                           \
    }                                                                                              \
                                                                                                   \
Q_SIGNALS:                                                                                         \
    void name##Changed(Type name);                                                                 \
                                                                                                   \
public Q_SLOTS:                                                                                    \
    void set##Name(Type _arg_##name)                                                               \
    {                                                                                              \
        if (isSamePropertyValue(m_##name, _arg_##name))                                            \
            return;                                                                                \
        m_##name = std::move(_arg_##name);                                                         \
        Q_EMIT name##Changed(m_##name);                                                            \
    }                                                                                              \
                                                                                                   \
private:                                                                                           \
    Type m_##name = initialValue;

// Runs a callable once when the scope is left, however it is left.
template <typename F> class OnLeavingScope
{
public:
    explicit OnLeavingScope(F callable) : m_callable(std::move(callable)) {}
    OnLeavingScope(const OnLeavingScope&) = delete;
    OnLeavingScope& operator=(const OnLeavingScope&) = delete;
    OnLeavingScope(OnLeavingScope&& other) noexcept
        : m_callable(std::move(other.m_callable)), m_active(other.m_active)
    {
        other.m_active = false;
    }
    ~OnLeavingScope()
    {
        if (m_active)
            m_callable();
    }

private:
    F m_callable;
    bool m_active = true;
};

class ViewModel : public QObject
{
    Q_OBJECT

public:
    explicit ViewModel(QObject* parent = nullptr);

    // Emits the notify signal of every property the most-derived class declares, in
    // declaration order, so a view connected after construction receives the whole state.
    void notifyAllSignals();

public Q_SLOTS:
    virtual void initialize();

Q_SIGNALS:
    // The card refused the PIN or Admin PIN it was given; sent before the busy flag drops.
    void secretRefused();

protected:
    // Length error of the secret a reset asks for: the Admin PIN on a card with a separate
    // Admin user, else the PIN. Empty when the length is valid.
    QString pinOrAdminPinLengthError(const DeviceModel& deviceModel, const QString& secret) const;
    // Error of a new PIN and its repetition, as a PIN change or unblock takes them; empty
    // when both are fine.
    QString newPinError(const QString& newPin, const QString& newPinRepeat) const;

private:
    // Texts of the shared checks are translated in the context of the most-derived class,
    // where the translations of each dialog's view model are kept.
    QString trInOwnContext(const char* text) const;
};

// Whether the card has an Admin user whose Admin PIN is independent of the PIN.
bool hasSeparateAdminUser(const DeviceModel& deviceModel);

// The card's length rules, checked before any card access so the user gets a clear text.
bool pinLengthIsValid(const QString& pin);
bool adminPinLengthIsValid(const QString& pin);

// Admin PIN of a card without a separate Admin user (tresora_ac_calculateAdminPinFromPin).
QString calculateAdminPinFromPin(const QString& pin);

// UTF-8 copy of a secret for one card call; overwritten when it goes out of scope so the
// PIN does not linger in freed memory of the worker thread.
class SecretUtf8
{
public:
    explicit SecretUtf8(const QString& text);
    // `size` zero bytes, for the card library to write a secret into.
    explicit SecretUtf8(std::size_t size);
    ~SecretUtf8();
    SecretUtf8(const SecretUtf8&) = delete;
    SecretUtf8& operator=(const SecretUtf8&) = delete;

    const std::string& str() const { return m_value; }
    unsigned char* data() { return reinterpret_cast<unsigned char*>(m_value.data()); }
    operator const std::string&() const { return m_value; }

private:
    std::string m_value;
};

// Text of a card error for the view. Messages are UTF-8 (translated texts included).
QString deviceErrorText(const std::exception& error);

// Whether the card refused the secret it was given (wrong, or no tries left).
bool isSecretRefusal(const DeviceException& error);

// Runs a card call with the busy flag raised; the flag drops on every way out. A card error
// goes to showError and the call counts as failed; other exceptions pass on.
template <typename Model, typename ShowError, typename CardCall>
bool runCardCall(Model* viewModel, ShowError showError, CardCall call)
{
    viewModel->setIsUpdating(true);
    OnLeavingScope guard([viewModel] { viewModel->setIsUpdating(false); });
    try {
        call();
        return true;
    } catch (const DeviceException& error) {
        showError(deviceErrorText(error));
        if (isSecretRefusal(error))
            emit viewModel->secretRefused();
        return false;
    }
}

// The common case: a card error goes to the view model's errorMessage.
template <typename Model, typename CardCall> bool runCardCall(Model* viewModel, CardCall call)
{
    return runCardCall(
        viewModel, [viewModel](const QString& error) { viewModel->setErrorMessage(error); },
        std::move(call));
}
