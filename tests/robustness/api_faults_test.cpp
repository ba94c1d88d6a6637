// Every API operation against a virtual card that misbehaves on the operation's
// own command: the documented result, no hang, no change to the card's data
// blocks, and a card that still answers once it behaves again.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CardManagement.h"
#include "FaultHarness.h"
#include "FileBasedSecurityInterface.h"
#include "SfcCardManager.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

namespace {

using robustness::DataBlockGuard;
using robustness::runBounded;
using vixtest::Fault;
using vixtest::Repeat;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

const unsigned char PIN[] = "1234";
const unsigned char ADMIN_PIN[] = "87654321";
const unsigned char NEW_PIN[] = "5678";
const unsigned char CHUNK[128] = {};
const int CHOSEN_STATUS_WORD = 0x6A86;

struct Operation
{
    const char* name;
    const char* cardCommand; // the virtual card's name of the command it sends
    bool longCommand;        // answered within 120 s instead of 1 s
    std::function<int(const char*)> run;
};

const std::vector<Operation>& operations()
{
    static const std::vector<Operation> all = {
        {"getStatus", "status", false,
         [](const char* d) {
             uint32_t state, readOnly, pinTries, adminTries, flags;
             return tresora_ac_getStatus(d, &state, &readOnly, &pinTries, &adminTries, &flags);
         }},
        {"getControllerId", "controller-id", false,
         [](const char* d) {
             unsigned char id[64];
             int32_t length = sizeof id;
             return tresora_ac_getControllerId(d, id, &length);
         }},
        {"getFirmwareVersion", "firmware-version", false,
         [](const char* d) {
             uint32_t version = 0;
             return tresora_ac_getFirmwareVersion(d, &version);
         }},
        {"activate", "activate", true,
         [](const char* d) { return tresora_ac_activate(d, PIN, 4, ADMIN_PIN, 8, 5, nullptr); }},
        {"wipeContent", "wipe", true,
         [](const char* d) { return tresora_ac_wipeContent(d, ADMIN_PIN, 8); }},
        {"factoryReset", "factory-reset", true,
         [](const char* d) { return tresora_ac_factoryReset(d, ADMIN_PIN, 8); }},
        {"login", "verify", false, [](const char* d) { return tresora_ac_login(d, PIN, 4); }},
        {"logout", "lock", false, tresora_ac_logout},
        {"changePin", "change-pin", false,
         [](const char* d) { return tresora_ac_changePin(d, PIN, 4, NEW_PIN, 4); }},
        {"changeAdminPin", "change-admin-pin", false,
         [](const char* d) { return tresora_ac_changeAdminPin(d, ADMIN_PIN, 8, ADMIN_PIN, 8); }},
        {"unblockPin", "unblock", false,
         [](const char* d) { return tresora_ac_unblockPin(d, ADMIN_PIN, 8, NEW_PIN, 4); }},
        {"setDeviceReadOnly", "set-read-only", false, tresora_ac_setDeviceReadOnly},
        {"setDeviceReadWrite", "set-read-write", false, tresora_ac_setDeviceReadWrite},
        {"listSessions", "list-sessions", false,
         [](const char* d) {
             tresora_ac_session page{};
             return tresora_ac_listSessions(d, 0, &page);
         }},
        {"switchToSession", "switch-session", false,
         [](const char* d) { return tresora_ac_switchToSession(d, 1); }},
        {"discardCurrentSession", "discard-session", false, tresora_ac_discardCurrentSession},
        {"startNewSession", "new-session", false, tresora_ac_startNewSession},
        {"firmwareUpdateTransfer", "firmware-transfer", false,
         [](const char* d) { return tresora_ac_firmwareUpdateTransfer(d, 0, CHUNK, 128); }},
        {"firmwareUpdateApply", "firmware-apply", false,
         [](const char* d) { return tresora_ac_firmwareUpdateApply(d, PIN, 4, 128); }},
    };
    return all;
}

struct FaultCase
{
    const char* name;
    Fault fault;
};

const FaultCase FAULTS[] = {
    {"NeverAnswers", Fault::NoAnswer},      {"StaysBusy", Fault::StayBusy},
    {"WrongType", Fault::WrongType},        {"ImpossibleLength", Fault::ImpossibleLength},
    {"TooShort", Fault::TooShort},          {"ChosenStatusWord", Fault::StatusWord},
    {"RemovedWhileWaiting", Fault::Vanish},
};

bool endsByTimeout(Fault fault)
{
    return fault == Fault::NoAnswer || fault == Fault::StayBusy || fault == Fault::Vanish;
}

int expectedResult(const Operation& operation, Fault fault)
{
    const bool apply = std::string(operation.name) == "firmwareUpdateApply";
    switch (fault) {
    case Fault::StatusWord:
        return CHOSEN_STATUS_WORD;
    case Fault::Vanish:
        // The apply waits for the card to tell its version: the card is gone by then.
        return apply ? TRESORA_AC_ERR_CARD_SILENT : FSI_RET_TIMEOUT;
    default:
        break;
    }
    // Whether the card applied anything is read back from the version: nothing
    // was transferred here, so the version stays.
    if (apply)
        return TRESORA_AC_ERR_FIRMWARE_UNCHANGED;
    switch (fault) {
    case Fault::NoAnswer:
    case Fault::StayBusy:
        // A long command's card answers again, but its state shows nothing done.
        return operation.longCommand ? TRESORA_AC_ERR_OUTCOME_UNKNOWN : FSI_RET_TIMEOUT;
    case Fault::WrongType:
        return FSI_RET_PAYLOAD_TYPE_ERR;
    case Fault::ImpossibleLength:
        return FSI_RET_INVALID_PARAMETER;
    case Fault::TooShort:
        return SFC_ERR_MALFORMED_ANSWER;
    default:
        return 0;
    }
}

using Case = std::tuple<size_t, size_t>; // operation, fault

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    for (size_t op = 0; op < operations().size(); ++op) {
        for (size_t f = 0; f < std::size(FAULTS); ++f) {
            // A long command waits 120 s for a card that does not answer; one such
            // case shows the bound, the rest share the code path of the 1 s ones.
            const bool slow = operations()[op].longCommand && endsByTimeout(FAULTS[f].fault);
            const bool theSlowOne = std::string(operations()[op].name) == "activate" &&
                                    FAULTS[f].fault == Fault::NoAnswer;
            if (!slow || theSlowOne)
                cases.emplace_back(op, f);
        }
    }
    return cases;
}

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return std::string(operations()[std::get<0>(info.param)].name) + "_" +
           FAULTS[std::get<1>(info.param)].name;
}

VirtualCardOptions activatedCardWithAdminUser()
{
    VirtualCardOptions options;
    options.exampleSessions = true;
    options.extraArgs = {"--size", "1M", "--activate", "1234", "--admin-pin", "87654321"};
    return options;
}

int cardStatus(const std::string& device)
{
    uint32_t state, readOnly, pinTries, adminTries, flags;
    return tresora_ac_getStatus(device.c_str(), &state, &readOnly, &pinTries, &adminTries, &flags);
}

// Run first by CTest: when a card that behaves cannot be reached at all, every case
// below would only wait out its watchdog.
TEST(CardReachable, AnswersPlainStatusQuery)
{
    vixtest::FakeHelpers helpers;
    VirtualCard card(activatedCardWithAdminUser());
    const std::string device = card.devicePath();
    EXPECT_EQ(runBounded([device] { return cardStatus(device); }, std::chrono::seconds(30)), 0);
}

class ApiFault : public testing::TestWithParam<Case>
{
protected:
    vixtest::FakeHelpers helpers;
};

TEST_P(ApiFault, GivesDocumentedResultAndLeavesDataAlone)
{
    const Operation& operation = operations()[std::get<0>(GetParam())];
    const Fault fault = FAULTS[std::get<1>(GetParam())].fault;
    VirtualCard card(activatedCardWithAdminUser());
    DataBlockGuard guard(card.devicePath());
    card.setFault(operation.cardCommand, fault, Repeat::Always, CHOSEN_STATUS_WORD);

    const std::string device = card.devicePath();
    const auto limit = std::chrono::seconds(operation.longCommand ? 400 : 60);
    const int result =
        runBounded([device, &operation] { return operation.run(device.c_str()); }, limit);

    EXPECT_EQ(result, expectedResult(operation, fault));
    EXPECT_EQ(guard.changedBlocks(), std::vector<uint64_t>{});
    card.clearFaults();
    // The card keeps answering afterwards, unless it was taken away.
    EXPECT_EQ(cardStatus(device), fault == Fault::Vanish ? FSI_RET_OPEN_ERR : 0);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, ApiFault, testing::ValuesIn(allCases()), caseName);

using ApiAnswers = robustness::GuardedCard<activatedCardWithAdminUser>;

TEST_F(ApiAnswers, ChosenStatusWordsComeBackAsTheirCodes)
{
    card.setFault("verify", Fault::StatusWord, Repeat::Once, TRESORA_AC_SW_WRONG_PIN);
    EXPECT_EQ(tresora_ac_login(device.c_str(), PIN, 4), TRESORA_AC_SW_WRONG_PIN);
    card.setFault("status", Fault::StatusWord, Repeat::Once, TRESORA_AC_SW_TIMEOUT);
    EXPECT_EQ(cardStatus(device), TRESORA_AC_SW_TIMEOUT);
    card.setFault("activate", Fault::StatusWord, Repeat::Once, TRESORA_AC_SW_INVALID_FILE_SYSTEM);
    EXPECT_EQ(tresora_ac_activate(device.c_str(), PIN, 4, ADMIN_PIN, 8, 5, nullptr),
              TRESORA_AC_SW_INVALID_FILE_SYSTEM);
    // A refused login runs no follow-up on the host.
    EXPECT_EQ(helpers.calls(), std::vector<std::string>{});
}

TEST_F(ApiAnswers, ReadOnlyAnswerCountsAsSuccess)
{
    card.setFault("set-read-only", Fault::StatusWord, Repeat::Once, TRESORA_AC_SW_READ_ONLY_SET);
    EXPECT_EQ(tresora_ac_setDeviceReadOnly(device.c_str()), 0);
}

TEST_F(ApiAnswers, BareSuccessWordIsMalformedWhereDataIsNeeded)
{
    card.setFault("any", Fault::StatusWord, Repeat::Always, TRESORA_AC_SW_SUCCESS);
    tresora_ac_session page{};
    page.count = 77;
    EXPECT_EQ(tresora_ac_listSessions(device.c_str(), 0, &page), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(page.count, 77u);
    uint32_t version = 0x55;
    EXPECT_EQ(tresora_ac_getFirmwareVersion(device.c_str(), &version), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(version, 0x55u);
    // A status or identifier without its data is no answer to the query.
    uint32_t state = 9, readOnly = 9, pinTries = 9, adminTries = 9, flags = 9;
    EXPECT_EQ(
        tresora_ac_getStatus(device.c_str(), &state, &readOnly, &pinTries, &adminTries, &flags),
        SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(std::vector<uint32_t>({state, readOnly, pinTries, adminTries, flags}),
              std::vector<uint32_t>(5, 9));
    unsigned char id[64];
    int32_t length = sizeof id;
    EXPECT_EQ(tresora_ac_getControllerId(device.c_str(), id, &length), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(length, 64);
}

TEST_F(ApiAnswers, InconsistentSessionCountIsRefusedAndPageLeftAlone)
{
    for (const char* extra : {"1", "40"}) {
        card.clearFaults();
        card.setFaultLine(std::string("list-sessions overcount ") + extra);
        tresora_ac_session page{};
        page.count = 77;
        EXPECT_EQ(tresora_ac_listSessions(device.c_str(), 0, &page), SFC_ERR_MALFORMED_ANSWER)
            << extra;
        EXPECT_EQ(page.count, 77u);
    }
    card.clearFaults();
    tresora_ac_session page{};
    EXPECT_EQ(tresora_ac_listSessions(device.c_str(), 0, &page), 0);
    EXPECT_EQ(page.count, 4u);
}

TEST_F(ApiAnswers, OversizedAnswerOfEveryLengthIsRefused)
{
    for (const char* length : {"509", "600", "32767", "65535"}) {
        card.clearFaults();
        card.setFaultLine(std::string("controller-id bad-length ") + length);
        unsigned char id[64];
        int32_t capacity = sizeof id;
        EXPECT_EQ(tresora_ac_getControllerId(device.c_str(), id, &capacity),
                  FSI_RET_INVALID_PARAMETER)
            << length;
        EXPECT_EQ(capacity, 64);
    }
}

TEST_F(ApiAnswers, EmptyAnswerIsRefused)
{
    card.setFaultLine("status short 0");
    EXPECT_EQ(cardStatus(device), SFC_ERR_MALFORMED_ANSWER);
}

} // namespace
