#include "CardManagement.h"

#include "CardLock.h"
#include "CardRecognition.h"
#include "DiskUtilities.h"
#include "MountedContent.h"
#include "SessionList.h"
#include "SfcCardManager.h"
#include "os-abstraction.h"
#include "vix_version.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <unistd.h>

namespace {

std::atomic<CardLockNotice> waitNotice{nullptr};
std::atomic<tresora_ac_answer_notice> answerNotice{nullptr};

// How long a card that outlasted its command's time-out is given to answer again,
// and how often the caller hears that it is still waited for.
constexpr uint64_t LATE_ANSWER_WAIT_MS = 600000;
constexpr uint64_t LATE_ANSWER_NOTICE_MS = 5000;
constexpr unsigned LATE_ANSWER_POLL_MS = 500;

enum ACTION_AFTER_COMMAND { NO_ACTION, WIPE_CACHE, PARTITIONS_CHANGED };

bool commandSucceeded(int result)
{
    return result == 0 || result == TRESORA_AC_SW_SUCCESS;
}

// A pointer that the card command reads `length` bytes from.
bool validBytes(const void* bytes, uint32_t length)
{
    return bytes != nullptr || length == 0;
}

int runFollowUp(ACTION_AFTER_COMMAND action, const char* devicePath)
{
    switch (action) {
    case WIPE_CACHE:
        return wipeCache(devicePath);
    case PARTITIONS_CHANGED:
        return remountDeviceAfterPartitionsChanged(devicePath);
    case NO_ACTION:
        break;
    }
    return TRESORA_AC_OK;
}

CardLockResult waitForCard(const char* devicePath, int* lockFd)
{
    return acquireCardLock(devicePath, CARD_LOCK_WAIT_MS, lockFd, waitNotice.load());
}

// Opens the channel holding the card lock. The card's partition is never kept open
// while waiting for another program's lock: its partition re-read would fail as busy.
int openLocked(const char* devicePath, SFC_FSI** channel, int* lockFd)
{
    if (cardIsHeld(devicePath))
        return sfc::open_raw(devicePath, channel);
    if (waitForCard(devicePath, lockFd) == CARD_LOCK_TIMED_OUT)
        return TRESORA_AC_ERR_CARD_IN_USE;
    const int opened = sfc::open_raw(devicePath, channel);
    if (opened != 0 || *lockFd >= 0)
        return opened;
    // The device appeared while the open was retrying.
    if (acquireCardLock(devicePath, 0, lockFd) != CARD_LOCK_TIMED_OUT)
        return 0;
    sfc::close(*channel);
    *channel = nullptr;
    if (waitForCard(devicePath, lockFd) == CARD_LOCK_TIMED_OUT)
        return TRESORA_AC_ERR_CARD_IN_USE;
    return sfc::open_raw(devicePath, channel);
}

// Configuration check, open, one exchange, close, then the host follow-up.
template <typename Command>
int runOnCard(const char* devicePath, Command command, ACTION_AFTER_COMMAND action = NO_ACTION)
{
    if (devicePath == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const int configuration = checkCorrectSystemConfiguration();
    if (configuration != 0)
        return configuration;

    int lockFd = -1;
    SFC_FSI* channel = nullptr;
    const int opened = openLocked(devicePath, &channel, &lockFd);
    if (opened != 0) {
        releaseCardLock(lockFd);
        return opened;
    }
    const int result = command(channel);
    sfc::close(channel);
    releaseCardLock(lockFd);

    if (!commandSucceeded(result))
        return result;
    return runFollowUp(action, devicePath);
}

int getStatus(const char* devicePath, sfc::cardStatus* status)
{
    return runOnCard(devicePath,
                     [status](SFC_FSI* channel) { return sfc::getStatus(channel, status); });
}

// Asks `query` until the card answers it, for at most LATE_ANSWER_WAIT_MS and while
// the device is there, telling the caller at the first silence, when the user most
// needs to know not to pull the card, and every LATE_ANSWER_NOTICE_MS after. A card still
// busy with the command before may answer with that command's answer, which no
// query takes for its own.
bool awaitLateAnswer(const char* devicePath, const std::function<int()>& query)
{
    const uint64_t start = getWallTime();
    uint64_t nextNotice = start;
    for (;;) {
        if (commandSucceeded(query()))
            return true;
        const uint64_t now = getWallTime();
        // A card taken away answers no more.
        if (now - start >= LATE_ANSWER_WAIT_MS || access(devicePath, F_OK) != 0)
            return false;
        if (now >= nextNotice) {
            if (const tresora_ac_answer_notice notice = answerNotice.load())
                notice(devicePath, static_cast<uint32_t>((now - start) / 1000));
            nextNotice = now + LATE_ANSWER_NOTICE_MS;
        }
        msleep(LATE_ANSWER_POLL_MS);
    }
}

// What the card's status says a command did.
using StatusJudge = bool (*)(const sfc::cardStatus& before, const sfc::cardStatus& after);

// A command that may outlast its time-out: the card state before it and, when it
// timed out, once the card answers again, decide whether it was carried out.
int runLongCommand(SFC_FSI* channel, const char* devicePath,
                   const std::function<int(SFC_FSI*)>& command, StatusJudge carriedOut)
{
    sfc::cardStatus before{};
    const bool beforeKnown = sfc::getStatus(channel, &before) == TRESORA_AC_SW_SUCCESS;
    const int result = command(channel);
    if (result != FSI_RET_TIMEOUT)
        return result;
    sfc::cardStatus after{};
    if (!awaitLateAnswer(devicePath, [&] { return sfc::getStatus(channel, &after); }))
        return TRESORA_AC_ERR_CARD_SILENT;
    if (beforeKnown && carriedOut(before, after))
        return TRESORA_AC_SW_SUCCESS;
    return TRESORA_AC_ERR_OUTCOME_UNKNOWN;
}

bool becameActivated(const sfc::cardStatus& before, const sfc::cardStatus& after)
{
    return before.state == TRESORA_AC_STATE_TRANSPARENT &&
           after.state != TRESORA_AC_STATE_TRANSPARENT;
}

bool becameTransparent(const sfc::cardStatus& before, const sfc::cardStatus& after)
{
    return before.state != TRESORA_AC_STATE_TRANSPARENT &&
           after.state == TRESORA_AC_STATE_TRANSPARENT;
}

// A wipe leaves the card read-only; that is the only trace it leaves in the status.
bool becameReadOnly(const sfc::cardStatus& before, const sfc::cardStatus& after)
{
    return before.cdromArea != TRESORA_AC_CDROM_AREA_WHOLE_CARD &&
           after.cdromArea == TRESORA_AC_CDROM_AREA_WHOLE_CARD;
}

int resetCard(const char* devicePath, unsigned char resetType, const unsigned char* pin,
              uint32_t pinLength, StatusJudge carriedOut)
{
    if (!validBytes(pin, pinLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(
        devicePath,
        [=](SFC_FSI* channel) {
            return runLongCommand(
                channel, devicePath,
                [=](SFC_FSI* c) { return sfc::reset(c, resetType, pin, pinLength); }, carriedOut);
        },
        PARTITIONS_CHANGED);
}

// The card keeps no Admin PIN of its own without a separate Admin user: the one
// derived from the PIN must follow every PIN change, or a factory reset that
// derives it from the new PIN spends the Admin PIN's tries until none is left.
int changePinInStep(SFC_FSI* channel, const unsigned char* oldPin, uint32_t oldLength,
                    const unsigned char* newPin, uint32_t newLength, int* adminPinResult)
{
    sfc::cardStatus status{};
    const int queried = sfc::getStatus(channel, &status);
    if (queried != TRESORA_AC_SW_SUCCESS)
        return queried;
    const int changed = sfc::changeUserPassword(channel, oldPin, oldLength, newPin, newLength);
    if (!commandSucceeded(changed) ||
        (status.securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION) != 0)
        return changed;
    unsigned char oldAdminPin[TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(SFC_MAX_LC)];
    unsigned char newAdminPin[TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(SFC_MAX_LC)];
    uint32_t oldAdminLength = sizeof oldAdminPin;
    uint32_t newAdminLength = sizeof newAdminPin;
    int result =
        tresora_ac_calculateAdminPinFromPin(oldPin, oldLength, oldAdminPin, &oldAdminLength);
    if (result == TRESORA_AC_OK)
        result =
            tresora_ac_calculateAdminPinFromPin(newPin, newLength, newAdminPin, &newAdminLength);
    if (result == TRESORA_AC_OK)
        result = sfc::changeSecurityOfficerPassword(channel, oldAdminPin, oldAdminLength,
                                                    newAdminPin, newAdminLength);
    explicit_bzero(oldAdminPin, sizeof oldAdminPin);
    explicit_bzero(newAdminPin, sizeof newAdminPin);
    *adminPinResult = commandSucceeded(result) ? TRESORA_AC_OK : result;
    return commandSucceeded(result) ? TRESORA_AC_SW_SUCCESS : TRESORA_AC_ERR_ADMIN_PIN_BEHIND;
}

int readFirmwareVersion(const char* devicePath, uint32_t* version)
{
    return runOnCard(devicePath,
                     [version](SFC_FSI* channel) { return sfc::getAppVersion(channel, version); });
}

// The version read afterwards decides: a card may apply the package after its
// answer timed out, or refuse to change anything although it accepted it.
int applyFirmware(const char* devicePath, const unsigned char* pin, uint32_t pinLength,
                  uint32_t totalLength)
{
    uint32_t oldVersion = 0;
    int result = readFirmwareVersion(devicePath, &oldVersion);
    if (result != TRESORA_AC_OK)
        return result;

    result = runOnCard(devicePath, [=](SFC_FSI* channel) {
        return sfc::firmwareUpdateApply(channel, pin, pinLength, totalLength);
    });
    // A refusal is final, and command data that was never sent changed nothing.
    if (result > 0 || result == FSI_RET_PARAM_APDU_SIZE_ERR)
        return result;

    uint32_t newVersion = 0;
    if (result == FSI_RET_TIMEOUT) {
        if (!awaitLateAnswer(devicePath,
                             [&] { return readFirmwareVersion(devicePath, &newVersion); }))
            return TRESORA_AC_ERR_CARD_SILENT;
    } else {
        result = readFirmwareVersion(devicePath, &newVersion);
        if (result != TRESORA_AC_OK)
            return result;
    }
    return newVersion == oldVersion ? TRESORA_AC_ERR_FIRMWARE_UNCHANGED : TRESORA_AC_OK;
}

} // namespace

extern "C" {

const char* tresora_ac_getLibraryVersion(void)
{
    return VIX_VERSION;
}

int tresora_ac_checkIdentification(const char* devicePath)
{
    uint32_t generation = TRESORA_AC_GENERATION_NONE;
    return tresora_ac_identifyCard(devicePath, &generation);
}

int tresora_ac_identifyCard(const char* devicePath, uint32_t* generation)
{
    if (devicePath == nullptr || generation == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    *generation = TRESORA_AC_GENERATION_NONE;
    return findIdentificationRecord(devicePath, generation);
}

void tresora_ac_setWaitNotice(void (*notice)(const char* devicePath))
{
    waitNotice.store(notice);
}

int tresora_ac_getStatus(const char* devicePath, uint32_t* state, uint32_t* readOnly,
                         uint32_t* pinRetryCounter, uint32_t* adminPinRetryCounter,
                         uint32_t* securityFlags)
{
    if (!state || !readOnly || !pinRetryCounter || !adminPinRetryCounter || !securityFlags)
        return FSI_RET_INVALID_PARAMETER;
    sfc::cardStatus status{};
    const int result = getStatus(devicePath, &status);
    if (result != TRESORA_AC_OK)
        return result;
    *state = status.state;
    *readOnly = status.cdromArea == TRESORA_AC_CDROM_AREA_WHOLE_CARD ? 1 : 0;
    *pinRetryCounter = status.pinRetryCounter;
    *adminPinRetryCounter = status.adminRetryCounter;
    *securityFlags = status.securityFlags;
    return TRESORA_AC_OK;
}

int tresora_ac_getControllerId(const char* devicePath, unsigned char* buffer, int32_t* length)
{
    if (!buffer || !length || *length < 0)
        return FSI_RET_INVALID_PARAMETER;
    int idLength = *length;
    const int result = runOnCard(devicePath, [&](SFC_FSI* channel) {
        return sfc::getControllerId(channel, buffer, &idLength);
    });
    if (result == TRESORA_AC_OK)
        *length = idLength;
    return result;
}

int tresora_ac_getFirmwareVersion(const char* devicePath, uint32_t* version)
{
    if (!version)
        return FSI_RET_INVALID_PARAMETER;
    unsigned int cardVersion = 0;
    const int result = runOnCard(
        devicePath, [&](SFC_FSI* channel) { return sfc::getAppVersion(channel, &cardVersion); });
    if (result == TRESORA_AC_OK)
        *version = cardVersion;
    return result;
}

int tresora_ac_activate(const char* devicePath, const unsigned char* pin, uint32_t pinLength,
                        const unsigned char* adminPin, uint32_t adminPinLength,
                        uint32_t retryCounter, const unsigned char* securityFlags)
{
    if (!validBytes(pin, pinLength) || !validBytes(adminPin, adminPinLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(
        devicePath,
        [=](SFC_FSI* channel) {
            return runLongCommand(
                channel, devicePath,
                [=](SFC_FSI* c) {
                    return sfc::activate(c, SFC_ACTIVATION_MODE, pin, pinLength, adminPin,
                                         adminPinLength, retryCounter, securityFlags);
                },
                becameActivated);
        },
        WIPE_CACHE);
}

int tresora_ac_wipeContent(const char* devicePath, const unsigned char* pin, uint32_t pinLength)
{
    return resetCard(devicePath, SFC_RESET_WIPE, pin, pinLength, becameReadOnly);
}

int tresora_ac_factoryReset(const char* devicePath, const unsigned char* adminPin,
                            uint32_t adminPinLength)
{
    return resetCard(devicePath, SFC_RESET_FACTORY, adminPin, adminPinLength, becameTransparent);
}

int tresora_ac_login(const char* devicePath, const unsigned char* pin, uint32_t pinLength)
{
    if (!validBytes(pin, pinLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(
        devicePath, [=](SFC_FSI* channel) { return sfc::verify(channel, pin, pinLength); },
        WIPE_CACHE);
}

int tresora_ac_logout(const char* devicePath)
{
    return runOnCard(devicePath, sfc::lockCard, WIPE_CACHE);
}

int tresora_ac_changePin(const char* devicePath, const unsigned char* oldPin, uint32_t oldLength,
                         const unsigned char* newPin, uint32_t newLength)
{
    if (!validBytes(oldPin, oldLength) || !validBytes(newPin, newLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(devicePath, [=](SFC_FSI* channel) {
        return sfc::changeUserPassword(channel, oldPin, oldLength, newPin, newLength);
    });
}

int tresora_ac_changePinKeepingAdminPin(const char* devicePath, const unsigned char* oldPin,
                                        uint32_t oldLength, const unsigned char* newPin,
                                        uint32_t newLength, int* adminPinResult)
{
    if (!validBytes(oldPin, oldLength) || !validBytes(newPin, newLength) || !adminPinResult)
        return FSI_RET_INVALID_PARAMETER;
    *adminPinResult = TRESORA_AC_OK;
    return runOnCard(devicePath, [=](SFC_FSI* channel) {
        return changePinInStep(channel, oldPin, oldLength, newPin, newLength, adminPinResult);
    });
}

int tresora_ac_changeAdminPin(const char* devicePath, const unsigned char* oldAdminPin,
                              uint32_t oldLength, const unsigned char* newAdminPin,
                              uint32_t newLength)
{
    if (!validBytes(oldAdminPin, oldLength) || !validBytes(newAdminPin, newLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(devicePath, [=](SFC_FSI* channel) {
        return sfc::changeSecurityOfficerPassword(channel, oldAdminPin, oldLength, newAdminPin,
                                                  newLength);
    });
}

int tresora_ac_unblockPin(const char* devicePath, const unsigned char* adminPin,
                          uint32_t adminPinLength, const unsigned char* newPin,
                          uint32_t newPinLength)
{
    if (!validBytes(adminPin, adminPinLength) || !validBytes(newPin, newPinLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(devicePath, [=](SFC_FSI* channel) {
        return sfc::unblockPassword(channel, adminPin, adminPinLength, newPin, newPinLength);
    });
}

int tresora_ac_setDeviceReadOnly(const char* devicePath)
{
    return runOnCard(devicePath, sfc::setDeviceReadOnly);
}

int tresora_ac_setDeviceReadWrite(const char* devicePath)
{
    return runOnCard(devicePath, sfc::setCdromAreaBackToDefault);
}

int tresora_ac_listSessions(const char* devicePath, uint32_t firstIndex, tresora_ac_session* page)
{
    if (!page)
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(
        devicePath, [=](SFC_FSI* channel) { return sfc::listSessions(channel, firstIndex, page); });
}

int tresora_ac_listAllSessions(const char* devicePath, tresora_ac_session_entry* sessions,
                               uint32_t capacity, uint32_t* count)
{
    if (!count || !validBytes(sessions, capacity))
        return FSI_RET_INVALID_PARAMETER;
    SessionListing listing{sessions, capacity, 0};
    const int result =
        runOnCard(devicePath, [&](SFC_FSI* channel) { return readSessionList(channel, &listing); });
    *count = listing.count;
    if (result == TRESORA_AC_OK && listing.count > capacity)
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    return result;
}

int tresora_ac_switchToSession(const char* devicePath, uint32_t sessionId)
{
    return runOnCard(
        devicePath, [=](SFC_FSI* channel) { return sfc::switchToSession(channel, sessionId); },
        PARTITIONS_CHANGED);
}

int tresora_ac_discardCurrentSession(const char* devicePath)
{
    return runOnCard(devicePath, sfc::discardCurrentSession, WIPE_CACHE);
}

int tresora_ac_startNewSession(const char* devicePath)
{
    return runOnCard(devicePath, sfc::startNewSession, PARTITIONS_CHANGED);
}

int tresora_ac_firmwareUpdateTransfer(const char* devicePath, uint32_t offset,
                                      const unsigned char* chunk, uint16_t chunkLength)
{
    if (!validBytes(chunk, chunkLength))
        return FSI_RET_INVALID_PARAMETER;
    return runOnCard(devicePath, [=](SFC_FSI* channel) {
        return sfc::firmwareUpdateTransfer(channel, offset, chunk, chunkLength);
    });
}

int tresora_ac_firmwareUpdateApply(const char* devicePath, const unsigned char* pin,
                                   uint32_t pinLength, uint32_t totalLength)
{
    if (!validBytes(pin, pinLength))
        return FSI_RET_INVALID_PARAMETER;
    const bool holding = !cardIsHeld(devicePath) && tresora_ac_holdCard(devicePath) == 0;
    const int result = applyFirmware(devicePath, pin, pinLength, totalLength);
    if (holding)
        tresora_ac_releaseCard();
    return result;
}

int tresora_ac_holdCard(const char* devicePath)
{
    if (devicePath == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    switch (holdCard(devicePath, waitNotice.load())) {
    case CARD_LOCK_HELD:
        return TRESORA_AC_OK;
    case CARD_LOCK_TIMED_OUT:
        return TRESORA_AC_ERR_CARD_IN_USE;
    case CARD_LOCK_UNAVAILABLE:
        break;
    }
    return FSI_RET_OPEN_ERR;
}

void tresora_ac_releaseCard(void)
{
    releaseHeldCard();
}

void tresora_ac_setAnswerWaitNotice(tresora_ac_answer_notice notice)
{
    answerNotice.store(notice);
}

int tresora_ac_getCurrentSessionSize(const char* devicePath, uint64_t* bytes)
{
    if (devicePath == nullptr || bytes == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const std::string folder = mountFolderOf(devicePath, "/proc/mounts");
    if (folder.empty() || !contentSectorBytes(folder, bytes))
        return TRESORA_AC_ERR_CONTENT_UNREADABLE;
    return TRESORA_AC_OK;
}

} // extern "C"
