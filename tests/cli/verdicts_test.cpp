// Every exit status of vaultcli is the truth about the card: runs against a virtual
// card that misbehaves on purpose, each followed by what the card then reports.
#include "CliProcess.h"
#include "VirtualCard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>

using clitest::CliProcess;
using clitest::CliResult;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

namespace {

// Stand-ins in the arguments, made in the card's folder.
const char* const CARD = "@card@";
const char* const NEIGHBOUR = "@neighbour@"; // random bytes beside the image, named like it
const char* const FIFO = "@fifo@";
const char* const PACKAGE = "@package@";   // two chunks
const char* const HUGE_PACKAGE = "@huge@"; // 4 GiB, sparse

struct Step
{
    std::vector<std::string> arguments;
    int exitStatus;
    const char* errorHas;  // in standard error; null: nothing there
    const char* outputHas; // in standard output; null: nothing there
    std::string input = {};
};

struct Verdict
{
    const char* name;
    VirtualCardOptions card;
    std::vector<std::string> faults;
    std::vector<Step> steps;
};

VirtualCardOptions plainCard(bool locked)
{
    VirtualCardOptions options;
    options.pin = "1234";
    options.locked = locked;
    return options;
}

VirtualCardOptions cardWithAdminUser()
{
    VirtualCardOptions options = plainCard(false);
    options.adminPin = "87654321";
    return options;
}

VirtualCardOptions olderGeneration()
{
    VirtualCardOptions options;
    options.generation = vixtest::Generation::Ccv1;
    return options;
}

void PrintTo(const Verdict& verdict, std::ostream* out)
{
    *out << verdict.name;
}

const Step STILL_LOCKED{{CARD, "status"}, 0, nullptr, "Card state: Locked"};

const std::vector<Verdict>& verdicts()
{
    static const std::vector<Verdict> all = {
        {"OverstatedLoginAnswer",
         plainCard(true),
         {"verify bad-length 300 once"},
         {{{CARD, "login", "--pin", "0000"},
           249,
           "Failed, error: -7\nThe card's answer was",
           nullptr},
          STILL_LOCKED}},
        {"ZeroStatusWordOfFactoryReset",
         plainCard(true),
         {"factory-reset status 0000 once"},
         {{{CARD, "factoryReset", "--pin", "1234"}, 249, "Failed, error: -7\n", nullptr},
          STILL_LOCKED}},
        {"BareStatusAnswer",
         plainCard(true),
         {"status status 9000"},
         {{{CARD, "status"}, 249, "Failed, error: -7\n", nullptr}}},
        {"ControllerIdWithoutData",
         plainCard(true),
         {"controller-id status 9000"},
         {{{CARD, "controllerID"}, 249, "Failed, error: -7\n", nullptr}}},
        {"TimeOutCarriesNoSystemError",
         plainCard(true),
         {"status no-answer once"},
         {{{CARD, "status"},
           255,
           "Failed, error: -1\nThe card did not answer in time.\n",
           nullptr}}},
        {"WrongPinInWords",
         plainCard(true),
         {"verify status 6f02 once"},
         {{{CARD, "login", "--pin", "0000"},
           2,
           "0x6f02\nWrong PIN; PIN tries left: 3.\n",
           nullptr}}},
        {"BlockedInWords",
         plainCard(true),
         {"verify status 6f03 once"},
         {{{CARD, "login", "--pin", "0000"}, 3, "0x6f03\nBlocked: ", nullptr}}},
        {"FirmwareApplyOutlastingItsTimeOut",
         plainCard(false),
         {"firmware-apply busy 8000 once"},
         {{{CARD, "firmwareUpdate", "--pin", "1234", "--file", PACKAGE},
           0,
           "still busy after its time-out",
           nullptr},
          {{CARD, "firmwareVersion"}, 0, nullptr, "1.2.4\n"}}},
        {"WipeOutlastingItsTimeOut",
         plainCard(false),
         {"wipe busy 125000 once"},
         {{{CARD, "wipeContent", "--pin", "1234"}, 0, "still busy after its time-out", nullptr},
          {{CARD, "status"}, 0, nullptr, "Read-only: true"}}},
        {"PinChangeKeepsDerivedAdminPin",
         plainCard(false),
         {},
         {{{CARD, "changePin", "--pin", "1234", "--newPin", "5678"}, 0, nullptr, nullptr},
          {{CARD, "factoryReset", "--pin", "5678"}, 0, nullptr, nullptr},
          {{CARD, "status"}, 0, nullptr, "Card state: Transparent"}}},
        {"PinChangeWithAdminPinLeftBehind",
         plainCard(false),
         {"change-admin-pin status 6f02 once"},
         {{{CARD, "changePin", "--pin", "1234", "--newPin", "5678"},
           223,
           "Your PIN was changed, but the Admin PIN",
           nullptr},
          {{CARD, "login", "--pin", "5678"}, 0, nullptr, nullptr}}},
        {"WipeWithPinOnCardWithAdminUser",
         cardWithAdminUser(),
         {},
         {{{CARD, "wipeContent", "--pin", "1234"}, 1, "takes its Admin PIN", nullptr},
          {{CARD, "status"}, 0, nullptr, "Admin PIN Retry Counter: 3"}}},
        {"WipeWithAdminPinOnCardWithout",
         plainCard(false),
         {},
         {{{CARD, "wipeContent", "--adminPin", "12340000"}, 1, "takes its PIN", nullptr},
          {{CARD, "status"}, 0, nullptr, "Login Retry Counter: 3"}}},
        {"FileBesideImage",
         plainCard(true),
         {},
         {{{NEIGHBOUR, "login", "--pin", "1234"},
           226,
           "carries a card's identification",
           nullptr}}},
        {"Fifo", plainCard(true), {}, {{{FIFO, "status"}, 226, "it is a FIFO", nullptr}}},
        {"HugePackage",
         plainCard(false),
         {},
         {{{CARD, "firmwareUpdate", "--pin", "1234", "--file", HUGE_PACKAGE},
           1,
           "the card takes at most",
           nullptr}}},
        {"PinWithTrailingSpace",
         plainCard(true),
         {},
         {{{CARD, "login", "--pin", "-"}, 1, "ends with white space", nullptr, "1234 \n"},
          STILL_LOCKED}},
        {"UsageErrorSaysWhy",
         plainCard(true),
         {},
         {{{CARD, "staus"}, 1, "Unknown command 'staus'.\n\nPlease keep", nullptr}}},
        {"OlderGeneration",
         olderGeneration(),
         {},
         {{{CARD, "status"}, 0, "does not support", "Card state: Transparent"}}},
    };
    return all;
}

std::string makeStandIn(const std::string& argument, const VirtualCard& card)
{
    const std::string folder = card.folder();
    if (argument == CARD)
        return card.devicePath();
    if (argument == NEIGHBOUR) {
        const std::string path = card.devicePath() + "2";
        std::ofstream(path, std::ios::binary) << std::string(1 << 20, '\x6b');
        return path;
    }
    if (argument == FIFO) {
        mkfifo((folder + "/fifo").c_str(), 0600);
        return folder + "/fifo";
    }
    if (argument == PACKAGE) {
        std::ofstream(folder + "/package.bin", std::ios::binary) << std::string(256, '\x21');
        return folder + "/package.bin";
    }
    if (argument == HUGE_PACKAGE) {
        std::ofstream(folder + "/huge.bin").close();
        std::filesystem::resize_file(folder + "/huge.bin", 1ull << 32);
        return folder + "/huge.bin";
    }
    return argument;
}

class CliVerdict : public testing::TestWithParam<Verdict>
{
};

TEST_P(CliVerdict, ExitStatusTellsWhatTheCardDid)
{
    const Verdict& verdict = GetParam();
    VirtualCard card(verdict.card);
    for (const std::string& fault : verdict.faults)
        card.setFaultLine(fault);
    const CliProcess cli(card.folder());
    for (const Step& step : verdict.steps) {
        std::vector<std::string> arguments;
        for (const std::string& argument : step.arguments)
            arguments.push_back(makeStandIn(argument, card));
        const CliResult result = cli.run(arguments, step.input);
        const std::string shown = testing::PrintToString(arguments) + "\n" + result.err;
        EXPECT_EQ(result.exitStatus, step.exitStatus) << shown;
        if (step.errorHas != nullptr)
            EXPECT_NE(result.err.find(step.errorHas), std::string::npos) << shown;
        else
            EXPECT_EQ(result.err, "") << shown;
        if (step.outputHas != nullptr)
            EXPECT_NE(result.out.find(step.outputHas), std::string::npos) << result.out;
        else
            EXPECT_EQ(result.out, "") << shown;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliVerdict, testing::ValuesIn(verdicts()),
                         [](const testing::TestParamInfo<Verdict>& info) {
                             return std::string(info.param.name);
                         });

// Two updates of one card at once: each keeps the card from its first chunk to its
// last version read, so neither sees the other's chunks.
TEST(CliWholeCommand, TwoFirmwareUpdatesOfOneCardDoNotMix)
{
    VirtualCard card(plainCard(false));
    const std::string package = card.folder() + "/package.bin";
    std::ofstream(package, std::ios::binary) << std::string(64 * 128, '\x42');
    const CliProcess first(card.folder() + "/first");
    const CliProcess second(card.folder() + "/second");
    const std::vector<std::string> arguments = {
        card.devicePath(), "firmwareUpdate", "--pin", "1234", "--file", package};
    std::filesystem::create_directories(card.folder() + "/first");
    std::filesystem::create_directories(card.folder() + "/second");
    auto running = std::async(std::launch::async, [&] { return first.run(arguments); });
    const CliResult other = second.run(arguments);
    const CliResult result = running.get();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(other.exitStatus, 0) << other.err;
}

} // namespace
