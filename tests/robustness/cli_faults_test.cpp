// Every vaultcli command against a virtual card that misbehaves on the command's
// own card command: the failure report of the documented code on standard error,
// the matching exit status, nothing but what the command prints before asking the
// card on standard output, no hang, no crash, no change to the card's data blocks.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "CardManagement.h"
#include "FaultHarness.h"
#include "FileBasedSecurityInterface.h"
#include "SfcCardManager.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

#ifndef VAULTCLI_PATH
#error "VAULTCLI_PATH must name the vaultcli program"
#endif

namespace {

using robustness::DataBlockGuard;
using robustness::exitStatusForCode;
using robustness::failureLine;
using robustness::isFailureReport;
using robustness::runProcess;
using vixtest::Fault;
using vixtest::Repeat;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

const int CHOSEN_STATUS_WORD = 0x6A86;
const char* const LIST_HEADER = "Session ID     Session Date             Session Size   \n";
const char* const PACKAGE = "@package@"; // replaced by the path of a 384-byte package

struct Command
{
    const char* name;
    std::vector<std::string> arguments; // after the device
    const char* cardCommand;
    bool longCommand;
    const char* printedFirst; // standard output before the card is asked
};

const std::vector<Command>& commands()
{
    static const std::vector<Command> all = {
        {"status", {"status"}, "status", false, ""},
        {"controllerID", {"controllerID"}, "controller-id", false, ""},
        {"firmwareVersion", {"firmwareVersion"}, "firmware-version", false, ""},
        {"logout", {"logout"}, "lock", false, ""},
        {"setReadOnly", {"setReadOnly"}, "set-read-only", false, ""},
        {"setReadWrite", {"setReadWrite"}, "set-read-write", false, ""},
        {"listSessions", {"listSessions"}, "list-sessions", false, LIST_HEADER},
        {"discardCurrentSession", {"discardCurrentSession"}, "discard-session", false, ""},
        {"startNewSession", {"startNewSession"}, "new-session", false, ""},
        {"login", {"login", "--pin", "1234"}, "verify", false, ""},
        {"factoryReset", {"factoryReset", "--adminPin", "87654321"}, "factory-reset", true, ""},
        {"wipeContent", {"wipeContent", "--adminPin", "87654321"}, "wipe", true, ""},
        {"switchToSession", {"switchToSession", "--id", "1"}, "switch-session", false, ""},
        {"activate", {"activate", "--pin", "1234", "--retryCounter", "5"}, "activate", true, ""},
        {"changePin", {"changePin", "--pin", "1234", "--newPin", "5678"}, "change-pin", false, ""},
        {"unblockPin",
         {"unblockPin", "--adminPin", "87654321", "--newPin", "5678"},
         "unblock",
         false,
         ""},
        {"changeAdminPin",
         {"changeAdminPin", "--adminPin", "87654321", "--newAdminPin", "12345678"},
         "change-admin-pin",
         false,
         ""},
        {"firmwareUpdate",
         {"firmwareUpdate", "--adminPin", "87654321", "--file", PACKAGE},
         "firmware-transfer",
         false,
         ""},
        {"activateWithAdminUser",
         {"activate", "--pin", "1234", "--adminPin", "87654321", "--retryCounter", "5"},
         "activate",
         true,
         ""},
    };
    return all;
}

struct FaultCase
{
    const char* name;
    Fault fault;
    int code;
};

const FaultCase FAULTS[] = {
    {"NeverAnswers", Fault::NoAnswer, FSI_RET_TIMEOUT},
    {"WrongType", Fault::WrongType, FSI_RET_PAYLOAD_TYPE_ERR},
    {"ImpossibleLength", Fault::ImpossibleLength, FSI_RET_INVALID_PARAMETER},
    {"TooShort", Fault::TooShort, SFC_ERR_MALFORMED_ANSWER},
    {"ChosenStatusWord", Fault::StatusWord, CHOSEN_STATUS_WORD},
    {"RemovedWhileWaiting", Fault::Vanish, FSI_RET_TIMEOUT},
};

using Case = std::tuple<size_t, size_t>;

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    for (size_t c = 0; c < commands().size(); ++c) {
        for (size_t f = 0; f < std::size(FAULTS); ++f) {
            // Long commands wait 120 s for a silent card; the API suite has that case.
            const bool silent =
                FAULTS[f].fault == Fault::NoAnswer || FAULTS[f].fault == Fault::Vanish;
            if (!(commands()[c].longCommand && silent))
                cases.emplace_back(c, f);
        }
    }
    return cases;
}

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return std::string(commands()[std::get<0>(info.param)].name) + "_" +
           FAULTS[std::get<1>(info.param)].name;
}

class CliFault : public testing::TestWithParam<Case>
{
protected:
    vixtest::FakeHelpers helpers;
};

TEST_P(CliFault, ReportsCodeAndLeavesDataAlone)
{
    const Command& command = commands()[std::get<0>(GetParam())];
    const FaultCase& fault = FAULTS[std::get<1>(GetParam())];
    VirtualCardOptions options;
    options.extraArgs = {"--size", "1M", "--activate", "1234", "--admin-pin", "87654321"};
    VirtualCard card(options);
    DataBlockGuard guard(card.devicePath());

    std::vector<std::string> argv = {VAULTCLI_PATH, card.devicePath()};
    for (const std::string& argument : command.arguments) {
        if (argument != PACKAGE) {
            argv.push_back(argument);
            continue;
        }
        argv.push_back(card.folder() + "/update.bin");
        std::ofstream(argv.back(), std::ios::binary) << std::string(3 * 128, '\x33');
    }
    card.setFault(command.cardCommand, fault.fault, Repeat::Always, CHOSEN_STATUS_WORD);

    const auto run = runProcess(argv, std::chrono::seconds(command.longCommand ? 400 : 60));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitStatus, exitStatusForCode(fault.code));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), fault.code)) << run.err;
    EXPECT_EQ(run.out, command.printedFirst);
    EXPECT_EQ(guard.changedBlocks(), std::vector<uint64_t>{});
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CliFault, testing::ValuesIn(allCases()), caseName);

VirtualCardOptions activatedCardWithExampleSessions()
{
    VirtualCardOptions options;
    options.exampleSessions = true;
    options.extraArgs = {"--size", "1M", "--activate", "1234"};
    return options;
}

class CliAnswers : public robustness::GuardedCard<activatedCardWithExampleSessions>
{
protected:
    robustness::ProcessResult vaultcli(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {VAULTCLI_PATH, device});
        return runProcess(arguments, std::chrono::seconds(60));
    }
};

TEST_F(CliAnswers, InconsistentSessionCountPrintsHeaderAndFails)
{
    card.setFaultLine("list-sessions overcount 3");
    const auto run = vaultcli({"listSessions"});
    EXPECT_EQ(run.out, LIST_HEADER);
    EXPECT_EQ(run.exitStatus, exitStatusForCode(SFC_ERR_MALFORMED_ANSWER));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), SFC_ERR_MALFORMED_ANSWER)) << run.err;
}

// A card that ignores the index never ends the list: each page repeats the first.
TEST_F(CliAnswers, SessionListThatRepeatsItselfStopsAfterOnePage)
{
    card.setFaultLine("list-sessions first-page");
    const auto run = vaultcli({"listSessions"});
    ASSERT_EQ(run.out.rfind(LIST_HEADER, 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 4) << "each session once";
    EXPECT_EQ(run.exitStatus, exitStatusForCode(TRESORA_AC_ERR_MALFORMED_ANSWER));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), TRESORA_AC_ERR_MALFORMED_ANSWER)) << run.err;
}

TEST_F(CliAnswers, WrongPinWordGivesItsLowByte)
{
    card.setFault("verify", Fault::StatusWord, Repeat::Once, TRESORA_AC_SW_WRONG_PIN);
    const auto run = vaultcli({"login", "--pin", "9999"});
    EXPECT_EQ(run.err, "Failed, error: 0x6f02\nWrong PIN; PIN tries left: 3.\n");
    EXPECT_EQ(run.exitStatus, 2);
}

// A status word whose low byte is 0 must not exit with 0, which reads as success.
TEST_F(CliAnswers, StatusWordWithZeroLowByteStillFails)
{
    card.setFault("lock", Fault::StatusWord, Repeat::Once, 0x6A00);
    const auto run = vaultcli({"logout"});
    EXPECT_EQ(run.err, "Failed, error: 0x6a00\n");
    EXPECT_NE(run.exitStatus, 0);
}

TEST_F(CliAnswers, StatusFailingOnItsSecondQueryPrintsNothing)
{
    card.setFaultLine("status busy 1 once");
    card.setFaultLine("status no-answer");
    const auto run = vaultcli({"status"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exitStatus, exitStatusForCode(FSI_RET_TIMEOUT));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), FSI_RET_TIMEOUT)) << run.err;
}

TEST_F(CliAnswers, UnchangedFirmwareIsReportedAsFailure)
{
    const std::string package = card.folder() + "/update.bin";
    std::ofstream(package, std::ios::binary) << std::string(2 * 128, '\x44');
    card.setFault("firmware-apply", Fault::NoAnswer);
    const auto run = vaultcli({"firmwareUpdate", "--pin", "1234", "--file", package});
    EXPECT_EQ(run.exitStatus, exitStatusForCode(TRESORA_AC_ERR_FIRMWARE_UNCHANGED));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), TRESORA_AC_ERR_FIRMWARE_UNCHANGED))
        << run.err;
    EXPECT_EQ(run.err.find("Successfully updated"), std::string::npos);
}

} // namespace
