// The card management API against the virtual card, with the fake helpers
// standing in for the host's mount tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "CardManagement.h"
#include "FileBasedSecurityInterface.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

namespace {

using Calls = std::vector<std::string>;
using vixtest::Fault;
using vixtest::Repeat;

const unsigned char kPin[] = "1234";
const unsigned char kAdminPin[] = "87654321";
const unsigned char kNewPin[] = "5678";
const uint32_t kPinLength = 4;
const uint32_t kAdminPinLength = 8;

enum class FollowUp { None, CacheRefresh, PartitionChange };

Calls followUpCalls(FollowUp followUp, const std::string& device, const std::string& disk)
{
    const std::string remount = "mountpoint_manager remount " + device;
    switch (followUp) {
    case FollowUp::CacheRefresh:
        return {"udevadm settle", remount};
    case FollowUp::PartitionChange:
        return {"udevadm settle", "mountpoint_manager unmount " + device,
                "udevadm settle", "partrescan " + disk,
                "udevadm settle", remount};
    case FollowUp::None:
        break;
    }
    return {};
}

struct Operation
{
    const char* name;
    const char* cardCommand; // the virtual card's name of the command it must send
    FollowUp followUp;
    std::function<int(const char*)> run;
};

void PrintTo(const Operation& operation, std::ostream* out)
{
    *out << operation.name;
}

const std::vector<Operation>& changingOperations()
{
    static const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    static const std::vector<Operation> operations = {
        {"activate", "activate", FollowUp::CacheRefresh,
         [](const char* d) {
             return tresora_ac_activate(d, kPin, kPinLength, kAdminPin, kAdminPinLength, 5, &flags);
         }},
        {"wipeContent", "wipe", FollowUp::PartitionChange,
         [](const char* d) { return tresora_ac_wipeContent(d, kPin, kPinLength); }},
        {"factoryReset", "factory-reset", FollowUp::PartitionChange,
         [](const char* d) { return tresora_ac_factoryReset(d, kAdminPin, kAdminPinLength); }},
        {"login", "verify", FollowUp::CacheRefresh,
         [](const char* d) { return tresora_ac_login(d, kPin, kPinLength); }},
        {"logout", "lock", FollowUp::CacheRefresh, tresora_ac_logout},
        {"changePin", "change-pin", FollowUp::None,
         [](const char* d) { return tresora_ac_changePin(d, kPin, kPinLength, kNewPin, 4); }},
        {"changeAdminPin", "change-admin-pin", FollowUp::None,
         [](const char* d) {
             return tresora_ac_changeAdminPin(d, kAdminPin, kAdminPinLength, kAdminPin,
                                              kAdminPinLength);
         }},
        {"unblockPin", "unblock", FollowUp::None,
         [](const char* d) {
             return tresora_ac_unblockPin(d, kAdminPin, kAdminPinLength, kNewPin, 4);
         }},
        {"setDeviceReadOnly", "set-read-only", FollowUp::None, tresora_ac_setDeviceReadOnly},
        {"setDeviceReadWrite", "set-read-write", FollowUp::None, tresora_ac_setDeviceReadWrite},
        {"switchToSession", "switch-session", FollowUp::PartitionChange,
         [](const char* d) { return tresora_ac_switchToSession(d, 2); }},
        {"discardCurrentSession", "discard-session", FollowUp::CacheRefresh,
         tresora_ac_discardCurrentSession},
        {"startNewSession", "new-session", FollowUp::PartitionChange, tresora_ac_startNewSession},
        {"firmwareUpdateTransfer", "firmware-transfer", FollowUp::None,
         [](const char* d) { return tresora_ac_firmwareUpdateTransfer(d, 0, kPin, kPinLength); }},
    };
    return operations;
}

class ApiTest : public ::testing::Test
{
protected:
    const char* device() const { return card.devicePath().c_str(); }
    // The virtual card's image has no partition number: it is its own whole disk.
    Calls expectedCalls(FollowUp followUp) const
    {
        return followUpCalls(followUp, card.devicePath(), card.devicePath());
    }

    vixtest::FakeHelpers helpers;
    vixtest::VirtualCard card;
};

class EachOperation : public ApiTest, public ::testing::WithParamInterface<Operation>
{
};

// A card answer of 0x9000 stands for the command's success: the card carries
// nothing out, which keeps these tests about the frame and the follow-up.
TEST_P(EachOperation, SuccessRunsItsFollowUp)
{
    card.setFault(GetParam().cardCommand, Fault::StatusWord, Repeat::Always, 0x9000);
    EXPECT_EQ(GetParam().run(device()), TRESORA_AC_OK);
    EXPECT_EQ(helpers.calls(), expectedCalls(GetParam().followUp));
}

TEST_P(EachOperation, RefusalReturnsTheStatusWordWithoutFollowUp)
{
    card.setFault(GetParam().cardCommand, Fault::StatusWord, Repeat::Always, 0x6A88);
    EXPECT_EQ(GetParam().run(device()), 0x6A88);
    EXPECT_TRUE(helpers.calls().empty());
}

TEST_P(EachOperation, TransportFailureIsReturnedWithoutFollowUp)
{
    card.setFault(GetParam().cardCommand, Fault::WrongType);
    EXPECT_EQ(GetParam().run(device()), FSI_RET_PAYLOAD_TYPE_ERR);
    EXPECT_TRUE(helpers.calls().empty());
}

TEST_P(EachOperation, FailedRemountIsReportedAfterSuccess)
{
    card.setFault(GetParam().cardCommand, Fault::StatusWord, Repeat::Always, 0x9000);
    helpers.fail("REMOUNT", "all");
    const int expected[] = {TRESORA_AC_OK, TRESORA_AC_ERR_REFRESH, TRESORA_AC_REMOUNT_INCOMPLETE};
    EXPECT_EQ(GetParam().run(device()), expected[static_cast<int>(GetParam().followUp)]);
}

INSTANTIATE_TEST_SUITE_P(Api, EachOperation, ::testing::ValuesIn(changingOperations()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ApiTest, QueriesDescribeTheCard)
{
    uint32_t state = 9, readOnly = 9, pinTries = 9, adminTries = 9, flags = 9;
    ASSERT_EQ(tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &flags),
              TRESORA_AC_OK);
    EXPECT_EQ(state, TRESORA_AC_STATE_TRANSPARENT);
    EXPECT_EQ(readOnly, 0u);
    EXPECT_EQ(flags, 0u);

    uint32_t version = 0;
    ASSERT_EQ(tresora_ac_getFirmwareVersion(device(), &version), TRESORA_AC_OK);
    EXPECT_EQ(version, 0x00010203u);

    unsigned char id[64];
    int32_t length = sizeof id;
    ASSERT_EQ(tresora_ac_getControllerId(device(), id, &length), TRESORA_AC_OK);
    EXPECT_GT(length, 0);
    EXPECT_TRUE(helpers.calls().empty()) << "queries run no follow-up";
    EXPECT_STREQ(tresora_ac_getLibraryVersion(), "1.1.0");
}

TEST_F(ApiTest, ControllerIdNeedsRoomForTheWholeIdentifier)
{
    unsigned char id[64];
    int32_t length = sizeof id;
    ASSERT_EQ(tresora_ac_getControllerId(device(), id, &length), TRESORA_AC_OK);
    int32_t tooSmall = length - 1;
    EXPECT_EQ(tresora_ac_getControllerId(device(), id, &tooSmall), TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(tooSmall, length - 1);
    int32_t negative = -1;
    EXPECT_EQ(tresora_ac_getControllerId(device(), id, &negative), FSI_RET_INVALID_PARAMETER);
}

TEST_F(ApiTest, FailedQueryLeavesTheOutputsAlone)
{
    card.setFault("status", Fault::StatusWord, Repeat::Always, 0x6A88);
    uint32_t state = 7, readOnly = 7, pinTries = 7, adminTries = 7, flags = 7;
    EXPECT_EQ(tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &flags),
              0x6A88);
    EXPECT_EQ(state + readOnly + pinTries + adminTries + flags, 35u);
}

TEST_F(ApiTest, SecurityLifeCycleChangesTheCardAsReported)
{
    const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    ASSERT_EQ(
        tresora_ac_activate(device(), kPin, kPinLength, kAdminPin, kAdminPinLength, 5, &flags),
        TRESORA_AC_OK);
    uint32_t state, readOnly, pinTries, adminTries, securityFlags;
    ASSERT_EQ(tresora_ac_logout(device()), TRESORA_AC_OK);
    ASSERT_EQ(
        tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &securityFlags),
        TRESORA_AC_OK);
    EXPECT_EQ(state, TRESORA_AC_STATE_LOCKED);
    EXPECT_EQ(pinTries, 5u);
    EXPECT_EQ(securityFlags, TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);

    helpers.clearCalls();
    EXPECT_EQ(tresora_ac_login(device(), kNewPin, 4), TRESORA_AC_SW_WRONG_PIN);
    EXPECT_TRUE(helpers.calls().empty()) << "a refused login refreshes nothing";
    ASSERT_EQ(tresora_ac_login(device(), kPin, kPinLength), TRESORA_AC_OK);
    ASSERT_EQ(
        tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &securityFlags),
        TRESORA_AC_OK);
    EXPECT_EQ(state, TRESORA_AC_STATE_UNLOCKED);

    ASSERT_EQ(tresora_ac_setDeviceReadOnly(device()), TRESORA_AC_OK);
    ASSERT_EQ(
        tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &securityFlags),
        TRESORA_AC_OK);
    EXPECT_EQ(readOnly, 1u);
    ASSERT_EQ(tresora_ac_setDeviceReadWrite(device()), TRESORA_AC_OK);
    ASSERT_EQ(
        tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &securityFlags),
        TRESORA_AC_OK);
    EXPECT_EQ(readOnly, 0u);

    ASSERT_EQ(tresora_ac_factoryReset(device(), kAdminPin, kAdminPinLength), TRESORA_AC_OK);
    ASSERT_EQ(
        tresora_ac_getStatus(device(), &state, &readOnly, &pinTries, &adminTries, &securityFlags),
        TRESORA_AC_OK);
    EXPECT_EQ(state, TRESORA_AC_STATE_TRANSPARENT);
}

TEST_F(ApiTest, OversizedPinIsRefusedBeforeAnythingIsSent)
{
    const std::vector<unsigned char> pin(400, '1');
    EXPECT_EQ(tresora_ac_login(device(), pin.data(), static_cast<uint32_t>(pin.size())),
              FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(tresora_ac_login(device(), nullptr, 4), FSI_RET_INVALID_PARAMETER);
    EXPECT_TRUE(helpers.calls().empty());
}

TEST_F(ApiTest, MissingDeviceReturnsTheOpenError)
{
    const std::string missing = card.folder() + "/no-such-device";
    uint32_t version = 0;
    EXPECT_EQ(tresora_ac_getFirmwareVersion(missing.c_str(), &version), FSI_RET_OPEN_ERR);
    EXPECT_EQ(tresora_ac_logout(missing.c_str()), FSI_RET_OPEN_ERR);
    EXPECT_TRUE(helpers.calls().empty());
    EXPECT_EQ(tresora_ac_logout(nullptr), FSI_RET_INVALID_PARAMETER);
}

class SessionApiTest : public ApiTest
{
protected:
    SessionApiTest() : sessionCard(withSessions()) {}
    static vixtest::VirtualCardOptions withSessions()
    {
        vixtest::VirtualCardOptions options;
        options.exampleSessions = true;
        return options;
    }
    const char* sessionDevice() const { return sessionCard.devicePath().c_str(); }
    vixtest::VirtualCard sessionCard;
};

TEST_F(SessionApiTest, ListingPagesThroughEverySession)
{
    std::vector<uint32_t> ids;
    tresora_ac_session page{};
    for (uint32_t index = 0;; index += page.count) {
        ASSERT_EQ(tresora_ac_listSessions(sessionDevice(), index, &page), TRESORA_AC_OK);
        ASSERT_LE(page.count, static_cast<uint32_t>(TRESORA_AC_MAX_SESSIONS_PER_PAGE));
        if (page.count == 0)
            break;
        for (uint32_t i = 0; i < page.count; ++i)
            ids.push_back(page.entries[i].id);
    }
    EXPECT_FALSE(ids.empty());

    tresora_ac_session empty{};
    ASSERT_EQ(tresora_ac_listSessions(device(), 0, &empty), TRESORA_AC_OK);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_TRUE(helpers.calls().empty());
}

// Room for fewer sessions than the card lists is reported, and never written past.
TEST_F(SessionApiTest, WholeListNeedsRoomForEverySession)
{
    const struct
    {
        uint32_t capacity;
        int result;
    } cases[] = {{4, TRESORA_AC_OK},
                 {5, TRESORA_AC_OK},
                 {3, TRESORA_AC_ERR_BUFFER_TOO_SMALL},
                 {0, TRESORA_AC_ERR_BUFFER_TOO_SMALL}};
    for (const auto& c : cases) {
        std::vector<tresora_ac_session_entry> room(c.capacity + 1);
        room[std::min(c.capacity, 4u)].id = 0xDEAD;
        uint32_t count = 0;
        EXPECT_EQ(tresora_ac_listAllSessions(sessionDevice(), c.capacity ? room.data() : nullptr,
                                             c.capacity, &count),
                  c.result)
            << c.capacity;
        EXPECT_EQ(count, 4u);
        for (uint32_t i = 0; i < std::min(c.capacity, 4u); ++i)
            EXPECT_EQ(room[i].id, i + 1);
        EXPECT_EQ(room[std::min(c.capacity, 4u)].id, 0xDEADu);
    }

    uint32_t count = 9;
    EXPECT_EQ(tresora_ac_listAllSessions(device(), nullptr, 0, &count), TRESORA_AC_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(tresora_ac_listAllSessions(device(), nullptr, 1, &count), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(tresora_ac_listAllSessions(device(), nullptr, 0, nullptr), FSI_RET_INVALID_PARAMETER);
    EXPECT_TRUE(helpers.calls().empty());
}

class FirmwareApplyTest : public ApiTest
{
protected:
    int transferAndApply(const char* path)
    {
        const std::vector<unsigned char> package(256, 0x5A);
        for (uint32_t offset = 0; offset < package.size(); offset += 128) {
            const int transferred =
                tresora_ac_firmwareUpdateTransfer(path, offset, package.data() + offset, 128);
            if (transferred != TRESORA_AC_OK)
                return transferred;
        }
        return tresora_ac_firmwareUpdateApply(path, kPin, kPinLength,
                                              static_cast<uint32_t>(package.size()));
    }
    uint32_t version(const char* path)
    {
        uint32_t value = 0;
        EXPECT_EQ(tresora_ac_getFirmwareVersion(path, &value), TRESORA_AC_OK);
        return value;
    }
};

TEST_F(FirmwareApplyTest, NewVersionIsSuccess)
{
    const uint32_t before = version(device());
    EXPECT_EQ(transferAndApply(device()), TRESORA_AC_OK);
    EXPECT_NE(version(device()), before);
    EXPECT_TRUE(helpers.calls().empty()) << "a firmware update runs no follow-up";
}

TEST_F(FirmwareApplyTest, UnchangedVersionIsReported)
{
    vixtest::VirtualCardOptions options;
    options.updateVersion = "same";
    vixtest::VirtualCard stubborn(options);
    EXPECT_EQ(transferAndApply(stubborn.devicePath().c_str()), TRESORA_AC_ERR_FIRMWARE_UNCHANGED);
}

TEST_F(FirmwareApplyTest, LostAnswerAfterTheCardAppliedIsSuccess)
{
    card.setFault("firmware-apply", Fault::WrongType); // carried out, answer garbled
    EXPECT_EQ(transferAndApply(device()), TRESORA_AC_OK);
}

TEST_F(FirmwareApplyTest, LostCommandLeavesTheVersionAndIsReported)
{
    card.setFault("firmware-apply", Fault::NoAnswer); // never carried out
    EXPECT_EQ(transferAndApply(device()), TRESORA_AC_ERR_FIRMWARE_UNCHANGED);
}

TEST_F(FirmwareApplyTest, RefusedApplyReturnsItsStatusWord)
{
    // Were the version read again after the refusal, the result would be -28.
    card.setFault("firmware-apply", Fault::StatusWord, Repeat::Always, 0x6F02);
    EXPECT_EQ(transferAndApply(device()), TRESORA_AC_SW_WRONG_PIN);
}

TEST_F(FirmwareApplyTest, FailedFirstVersionReadStopsTheSequence)
{
    card.setFault("firmware-version", Fault::StatusWord, Repeat::Once, 0x6A88);
    EXPECT_EQ(tresora_ac_firmwareUpdateApply(device(), kPin, kPinLength, 128), 0x6A88);
    EXPECT_EQ(version(device()), 0x00010203u) << "nothing was applied";
}

TEST_F(FirmwareApplyTest, PinThatDoesNotFitIsNotTakenForAnUnchangedVersion)
{
    const std::vector<unsigned char> pin(300, '1');
    EXPECT_EQ(tresora_ac_firmwareUpdateApply(device(), pin.data(), 300, 128),
              FSI_RET_PARAM_APDU_SIZE_ERR);
}

// Two processes share one card: each must get the answers to its own commands.
TEST_F(ApiTest, ConcurrentCallersEachGetTheirOwnAnswers)
{
    unsigned char expectedId[64];
    int32_t idLength = sizeof expectedId;
    ASSERT_EQ(tresora_ac_getControllerId(device(), expectedId, &idLength), TRESORA_AC_OK);
    const uint32_t expectedVersion = 0x00010203;
    const int rounds = 40;

    auto hammer = [&](bool askForVersion) {
        int mismatches = 0;
        for (int round = 0; round < rounds; ++round) {
            if (askForVersion) {
                uint32_t version = 0;
                if (tresora_ac_getFirmwareVersion(device(), &version) != TRESORA_AC_OK ||
                    version != expectedVersion)
                    ++mismatches;
            } else {
                unsigned char id[64];
                int32_t length = sizeof id;
                if (tresora_ac_getControllerId(device(), id, &length) != TRESORA_AC_OK ||
                    length != idLength || memcmp(id, expectedId, length) != 0)
                    ++mismatches;
            }
        }
        return mismatches;
    };

    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0)
            _exit(std::min(hammer(i == 0), 100));
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "calls that got another caller's answer";
    }
}

// ---- the card's rules for its secrets ---------------------------------------------------

TEST(CardRules, SecretLengths)
{
    const struct
    {
        uint32_t length;
        bool pin;
        bool adminPin;
    } cases[] = {{0, false, false}, {3, false, false}, {4, true, false},
                 {7, true, false},  {8, true, true},   {15, true, true},
                 {16, false, true}, {20, false, true}, {21, false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(tresora_ac_pinLengthIsValid(c.length) != 0, c.pin) << c.length;
        EXPECT_EQ(tresora_ac_adminPinLengthIsValid(c.length) != 0, c.adminPin) << c.length;
    }
}

const unsigned char* bytesOf(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Counted in bytes, as the card counts them: both front ends derive the same Admin PIN.
TEST(CardRules, DerivedAdminPinIsPaddedWithZerosToEightBytesAndNeverShortened)
{
    const std::pair<std::string, std::string> cases[] = {{"", "00000000"},
                                                         {"1234", "12340000"},
                                                         {"1234567", "12345670"},
                                                         {"12345678", "12345678"},
                                                         {"123456789012345", "123456789012345"},
                                                         {"\xc3\xa4"
                                                          "bc1",
                                                          "\xc3\xa4"
                                                          "bc1000"}};
    for (const auto& [pin, adminPin] : cases) {
        unsigned char room[32];
        uint32_t length = sizeof room;
        ASSERT_EQ(
            tresora_ac_calculateAdminPinFromPin(bytesOf(pin), uint32_t(pin.size()), room, &length),
            TRESORA_AC_OK);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(room), length), adminPin);
        EXPECT_EQ(length, TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(uint32_t(pin.size())));
    }
}

TEST(CardRules, DerivedAdminPinNeedsItsRoom)
{
    unsigned char room[8];
    uint32_t tooSmall = 7;
    EXPECT_EQ(tresora_ac_calculateAdminPinFromPin(kPin, kPinLength, room, &tooSmall),
              TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(tooSmall, 7u);
    uint32_t length = sizeof room;
    EXPECT_EQ(tresora_ac_calculateAdminPinFromPin(nullptr, kPinLength, room, &length),
              TRESORA_AC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(tresora_ac_calculateAdminPinFromPin(kPin, kPinLength, nullptr, &length),
              TRESORA_AC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(tresora_ac_calculateAdminPinFromPin(kPin, kPinLength, room, nullptr),
              TRESORA_AC_ERR_INVALID_PARAMETER);
}

} // namespace
