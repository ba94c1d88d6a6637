// vaultcli run as a process against the virtual card: exact output on both
// streams, exit statuses, and what reached the card.
#include "CliProcess.h"
#include "VirtualCard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using clitest::CliProcess;
using clitest::CliResult;
using vixtest::Fault;
using vixtest::Repeat;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

namespace {

const char* const SETTLE = "udevadm settle";

std::string expectedUsage()
{
    std::string usage = clitest::readFile(VIX_CLI_TEST_DATA "/usage.txt");
    for (auto at = usage.find("PROG"); at != std::string::npos; at = usage.find("PROG", at))
        usage.replace(at, 4, VAULTCLI_PATH);
    return usage;
}

std::string padded(const std::string& text, std::size_t width)
{
    return text + std::string(text.size() < width ? width - text.size() : 0, ' ');
}

std::string sessionRow(const std::string& id, const std::string& date, const std::string& size)
{
    return padded(id, 15) + padded(date, 25) + padded(size, 15) + "\n";
}

// The state file keeps PINs as hex text.
std::string hex(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string result;
    for (unsigned char c : text) {
        result += digits[c >> 4];
        result += digits[c & 0x0F];
    }
    return result;
}

const std::string SESSION_HEADER = sessionRow("Session ID", "Session Date", "Session Size");

class CliEndToEnd : public testing::Test
{
protected:
    void startCard(const VirtualCardOptions& options = {})
    {
        card_ = std::make_unique<VirtualCard>(options);
        cli_ = std::make_unique<CliProcess>(card_->folder());
    }

    // Arguments after the device path.
    CliResult run(const std::vector<std::string>& arguments, const std::string& input = {},
                  const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> full{card_->devicePath()};
        full.insert(full.end(), arguments.begin(), arguments.end());
        return cli_->run(full, input, environment);
    }

    void expectQuietSuccess(const std::vector<std::string>& arguments,
                            const std::string& input = {})
    {
        const CliResult result = run(arguments, input);
        EXPECT_EQ(result.exitStatus, 0) << arguments.at(0) << ": " << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
    }

    std::string statusOutput() { return run({"status"}).out; }

    void activateWithoutAdminUser(const std::string& pin = "1234")
    {
        expectQuietSuccess({"activate", "--pin", pin, "--retryCounter", "5"});
    }

    void activateWithAdminUser()
    {
        expectQuietSuccess(
            {"activate", "--pin", "1234", "--adminPin", "12345678", "--retryCounter", "5"});
    }

    std::string state(const char* key) const { return card_->stateValue(key); }

    std::unique_ptr<VirtualCard> card_;
    std::unique_ptr<CliProcess> cli_;
};

// Lines that must be refused before the card is asked: the device does not
// exist, so any card call would show up as an open failure.
TEST(CliUsage, MalformedLinesPrintUsageAndExit1)
{
    char folder[] = "/tmp/vix-cli-usage-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const CliProcess cli(folder);
    const std::string usage = expectedUsage();
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"-h", "extra"},
        {"/nonexistent/sdz1", "status", "extra"},
        {"/nonexistent/sdz1", "switchToSession", "--id", "1a"},
        {"/nonexistent/sdz1", "switchToSession", "--id", "2147483648"},
        {"/nonexistent/sdz1", "activate", "--pin", "1234", "--retryCounter", "99999999999"},
        {"/nonexistent/sdz1 status"},
        {"/nonexistent/sdz1", "login", "--pin", "12 34"},
        {"/nonexistent/sdz1", "login", "--pin", ""},
        {"/nonexistent/sdz1", "activate", "--pin", "1234", "--retryCounter", "5", "--adminPin",
         "12345678"},
        {"/nonexistent/sdz1", "switchToSession", "--id", std::string(100000, '1')},
        // One byte on the wire: 259 would arrive as 3.
        {"/nonexistent/sdz1", "activate", "--pin", "1234", "--retryCounter", "259"},
        {"/nonexistent/sdz1", "activate", "--pin", "1234", "--adminPin", "12345678",
         "--retryCounter", "256"},
        {"/nonexistent/sdz1", "status", "a", "b", "c", "d", "e", "f", "g", "h", "i"},
        {"-vv"},
        {"--help", "/nonexistent/sdz1", "status"},
        {"status"},
        {"/nonexistent/sdz1", "Status"},
        {"/nonexistent/sdz1", "login", "--pin"},
        {"/nonexistent/sdz1", "login", "--adminPin", "12345678"},
        {"/nonexistent/sdz1", "switchToSession", "--id", "-1"},
        {"/nonexistent/sdz1", "activate", "--pin", "1234", "--retryCounter", "five"},
        {"/nonexistent/sdz1", "changePin", "--adminPin", "1234", "--newPin", "5678"},
        {"/nonexistent/sdz1", "firmwareUpdate", "--file", "fw.bin", "--pin", "1234"},
    };
    // One line of what is wrong, then the usage, all on standard error.
    for (const auto& line : lines) {
        const CliResult result = cli.run(line);
        const std::size_t reasonEnd = result.err.find("\n\n");
        EXPECT_EQ(result.exitStatus, 1) << testing::PrintToString(line);
        EXPECT_EQ(result.out, "") << testing::PrintToString(line);
        ASSERT_NE(reasonEnd, std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), reasonEnd) << result.err;
        EXPECT_GT(reasonEnd, 0u);
        EXPECT_EQ(result.err.substr(reasonEnd + 2), usage) << testing::PrintToString(line);
    }

    for (const char* help : {"-h", "--help"}) {
        const CliResult result = cli.run({help});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, usage);
    }
    const CliResult version = cli.run({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "v1.2.0-g6cce2fd\n");

    const CliResult missing = cli.run({"/nonexistent/sdz1", "status"});
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("Failed, error: -3, system error: ", 0), 0u) << missing.err;
    EXPECT_EQ(missing.exitStatus, 253);

    // Far too long for a device path, yet no crash: the open fails.
    const CliResult longPath = cli.run({"/" + std::string(100000, 'a'), "status"});
    EXPECT_EQ(longPath.out, "");
    EXPECT_EQ(longPath.err.rfind("Failed, error: -3, system error: ", 0), 0u) << longPath.err;
    EXPECT_EQ(longPath.exitStatus, 253);
    std::filesystem::remove_all(folder);
}

// Every accepted form of the command line runs its own operation: the card
// refuses the one command that operation sends, and vaultcli reports exactly that.
TEST_F(CliEndToEnd, EachCommandFormReachesItsOwnCardCommand)
{
    VirtualCardOptions options;
    options.pin = "1234";
    options.adminPin = "12345678";
    startCard(options);
    const std::string package = card_->folder() + "/update.bin";
    clitest::writeFile(package, std::string(128, '\x5a'));
    const std::vector<std::pair<std::vector<std::string>, const char*>> forms = {
        {{"status"}, "status"},
        {{"controllerID"}, "controller-id"},
        {{"firmwareVersion"}, "firmware-version"},
        {{"logout"}, "logout"},
        {{"setReadOnly"}, "set-read-only"},
        {{"setReadWrite"}, "set-read-write"},
        {{"listSessions"}, "list-sessions"},
        {{"discardCurrentSession"}, "discard-session"},
        {{"startNewSession"}, "new-session"},
        {{"login", "--pin", "1234"}, "verify"},
        {{"factoryReset", "--adminPin", "12345678"}, "factory-reset"},
        {{"wipeContent", "--adminPin", "12345678"}, "wipe"},
        {{"switchToSession", "--id", "12"}, "switch-session"},
        {{"activate", "--pin", "1234", "--retryCounter", "5"}, "activate"},
        {{"activate", "--pin", "1234", "--adminPin", "12345678", "--retryCounter", "5"},
         "activate"},
        {{"changePin", "--pin", "1234", "--newPin", "5678"}, "change-pin"},
        {{"unblockPin", "--adminPin", "12345678", "--newPin", "5678"}, "unblock"},
        {{"changeAdminPin", "--adminPin", "12345678", "--newAdminPin", "87654321"},
         "change-admin-pin"},
        {{"firmwareUpdate", "--pin", "12345678", "--file", package}, "firmware-transfer"},
        {{"firmwareUpdate", "--adminPin", "12345678", "--file", package}, "firmware-transfer"},
    };
    for (const auto& [arguments, cardCommand] : forms) {
        card_->clearFaults();
        card_->setFault(cardCommand, Fault::StatusWord, Repeat::Always, 0x6A86);
        const CliResult result = run(arguments);
        const std::string line = testing::PrintToString(arguments);
        EXPECT_EQ(result.exitStatus, 0x86) << line;
        EXPECT_NE(result.err.find("Failed, error: 0x6a86\n"), std::string::npos)
            << line << ": " << result.err;
    }
    card_->clearFaults();
    EXPECT_EQ(state("pin"), hex("1234"));
    EXPECT_EQ(state("admin-pin"), hex("12345678"));
}

TEST_F(CliEndToEnd, QueriesOfAFreshCard)
{
    VirtualCardOptions options;
    options.firmwareVersion = "1.2.10";
    options.controllerId = "00112233445566778899aabbccddeeff";
    startCard(options);

    CliResult result = run({"status"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Card state: Transparent\nRead-only: false\nLogin Retry Counter: 0\n"
                          "Factory Reset Retry Counter: 0\nSecurityFlag: 0\n");
    EXPECT_EQ(result.err, "");

    result = run({"controllerID"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "00112233445566778899aabbccddeeff");

    result = run({"firmwareVersion"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "1.2.10\n");

    result = run({"listSessions"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, SESSION_HEADER);
    EXPECT_TRUE(cli_->helperCalls().empty());
}

TEST_F(CliEndToEnd, LifecycleWithoutAdminUser)
{
    startCard();
    activateWithoutAdminUser();
    EXPECT_EQ(state("admin-pin"), hex("12340000"));
    EXPECT_EQ(state("security-flags"), "0");
    EXPECT_EQ(statusOutput(), "Card state: Unlocked\nRead-only: true\nLogin Retry Counter: 5\n"
                              "Factory Reset Retry Counter: 5\nSecurityFlag: 0\n");

    expectQuietSuccess({"setReadWrite"});
    EXPECT_NE(statusOutput().find("Read-only: false\n"), std::string::npos);
    expectQuietSuccess({"setReadOnly"});
    EXPECT_NE(statusOutput().find("Read-only: true\n"), std::string::npos);

    cli_->clearHelperCalls();
    expectQuietSuccess({"logout"});
    EXPECT_EQ(cli_->helperCalls(), (std::vector<std::string>{SETTLE, "mountpoint_manager remount " +
                                                                         card_->devicePath()}));
    EXPECT_EQ(state("state"), "locked");

    cli_->clearHelperCalls();
    CliResult result = run({"login", "--pin", "9999"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Failed, error: 0x6f02\nWrong PIN; PIN tries left: 4.\n");
    EXPECT_TRUE(cli_->helperCalls().empty());
    EXPECT_NE(statusOutput().find("Login Retry Counter: 4\n"), std::string::npos);

    expectQuietSuccess({"login", "--pin", "1234"});
    EXPECT_EQ(state("state"), "unlocked");

    // Both need an Admin user: usage, and the card is left alone.
    for (const auto& line : std::vector<std::vector<std::string>>{
             {"unblockPin", "--adminPin", "12340000", "--newPin", "4321"},
             {"changeAdminPin", "--adminPin", "12340000", "--newAdminPin", "87654321"}}) {
        result = run(line);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "The card has no separate Admin user, which " + line[0] +
                                  " needs.\n\n" + expectedUsage());
    }
    EXPECT_EQ(state("pin"), hex("1234"));
    EXPECT_EQ(state("admin-pin"), hex("12340000"));

    // The derived Admin PIN follows the new PIN.
    expectQuietSuccess({"changePin", "--pin", "1234", "--newPin", "5678"});
    EXPECT_EQ(state("pin"), hex("5678"));
    EXPECT_EQ(state("admin-pin"), hex("56780000"));

    expectQuietSuccess({"wipeContent", "--pin", "5678"});
    EXPECT_EQ(state("state"), "unlocked");
    // factoryReset derives the Admin PIN from the PIN.
    expectQuietSuccess({"factoryReset", "--pin", "5678"});
    EXPECT_EQ(state("state"), "transparent");
}

TEST_F(CliEndToEnd, LifecycleWithAdminUser)
{
    startCard();
    activateWithAdminUser();
    EXPECT_EQ(state("pin"), hex("1234"));
    EXPECT_EQ(state("admin-pin"), hex("12345678"));
    EXPECT_EQ(statusOutput(), "Card state: Unlocked\nRead-only: true\nPIN Retry Counter: 5\n"
                              "Admin PIN Retry Counter: 5\nSecurityFlag: 2\n");

    expectQuietSuccess({"unblockPin", "--adminPin", "12345678", "--newPin", "4321"});
    EXPECT_EQ(state("pin"), hex("4321"));
    expectQuietSuccess({"changeAdminPin", "--adminPin", "12345678", "--newAdminPin", "87654321"});
    EXPECT_EQ(state("admin-pin"), hex("87654321"));
    expectQuietSuccess({"wipeContent", "--adminPin", "87654321"});

    // With an Admin user the PIN is refused before the card is asked.
    CliResult result = run({"factoryReset", "--pin", "4321"});
    EXPECT_NE(result.err.find("takes its Admin PIN"), std::string::npos) << result.err;
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(state("state"), "unlocked");
    EXPECT_EQ(state("admin-tries"), "5");

    cli_->clearHelperCalls();
    expectQuietSuccess({"factoryReset", "--adminPin", "87654321"});
    EXPECT_EQ(state("state"), "transparent");
    const std::string device = card_->devicePath();
    EXPECT_EQ(cli_->helperCalls(),
              (std::vector<std::string>{SETTLE, "mountpoint_manager unmount " + device, SETTLE,
                                        "partrescan " + device, SETTLE,
                                        "mountpoint_manager remount " + device}));
}

TEST_F(CliEndToEnd, SecretsFromStandardInput)
{
    startCard();
    expectQuietSuccess({"activate", "--pin", "-", "--adminPin", "-", "--retryCounter", "5"},
                       "1234\n12345678\n");
    EXPECT_EQ(state("pin"), hex("1234"));
    EXPECT_EQ(state("admin-pin"), hex("12345678"));

    expectQuietSuccess({"changePin", "--pin", "-", "--newPin", "-"}, "1234\r\n5678");
    EXPECT_EQ(state("pin"), hex("5678"));
    expectQuietSuccess({"changeAdminPin", "--adminPin", "12345678", "--newAdminPin", "-"},
                       "87654321\n");
    EXPECT_EQ(state("admin-pin"), hex("87654321"));

    CliResult result = run({"changePin", "--pin", "-", "--newPin", "-"}, "5678\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "Expected the new PIN on standard input, but it ended\n");
    result = run({"login", "--pin", "-"}, "\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "The PIN read from standard input is empty\n");
    result = run({"wipeContent", "--adminPin", "-"}, std::string(300, '7'));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "The Admin PIN read from standard input is longer than 255 characters\n");
    // Refused before the card was asked: no try was used up.
    EXPECT_EQ(state("pin"), hex("5678"));
    EXPECT_EQ(state("pin-tries"), "5");
    EXPECT_EQ(state("admin-tries"), "5");
}

TEST_F(CliEndToEnd, SecretTypedOnATerminalIsNotEchoed)
{
    VirtualCardOptions options;
    options.pin = "1234";
    options.locked = true;
    startCard(options);
    const clitest::TerminalRun typed =
        cli_->runOnTerminal({card_->devicePath(), "login", "--pin", "-"}, "1234");
    EXPECT_EQ(typed.result.exitStatus, 0) << typed.result.err;
    EXPECT_EQ(typed.result.err, "PIN: \n");
    EXPECT_EQ(typed.shown.find("1234"), std::string::npos) << typed.shown;
    EXPECT_TRUE(typed.echoRestored);
    EXPECT_EQ(state("state"), "unlocked");
}

// One typo at the hidden prompt would set a PIN nobody knows.
TEST_F(CliEndToEnd, NewPinTypedOnATerminalIsAskedTwice)
{
    VirtualCardOptions options;
    options.pin = "1234";
    startCard(options);
    const struct
    {
        const char* typed;
        int exitStatus;
        const char* pinAfter;
    } cases[] = {{"5678\n5679", 1, "1234"}, {"5678\n5678", 0, "5678"}};
    for (const auto& entry : cases) {
        const clitest::TerminalRun typed = cli_->runOnTerminal(
            {card_->devicePath(), "changePin", "--pin", "1234", "--newPin", "-"}, entry.typed);
        EXPECT_EQ(typed.result.exitStatus, entry.exitStatus) << typed.result.err;
        EXPECT_NE(typed.result.err.find("Repeat the new PIN: "), std::string::npos);
        EXPECT_EQ(state("pin"), hex(entry.pinAfter)) << entry.typed;
    }
}

TEST_F(CliEndToEnd, SessionsAreListedPageByPage)
{
    VirtualCardOptions options;
    options.exampleSessions = true;
    startCard(options);
    const std::vector<std::string> utc{"TZ=UTC"};
    CliResult result = run({"listSessions"}, {}, utc);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, SESSION_HEADER + sessionRow("1", "2023-02-16T11:07:00", "1.1 MB") +
                              sessionRow("2", "2023-04-05T12:07:00", "121.5 KB") +
                              sessionRow("3", "2024-12-31T23:59:59", "64.0 KB") +
                              sessionRow("4", "", "3.0 KB"));

    cli_->clearHelperCalls();
    expectQuietSuccess({"switchToSession", "--id", "2"});
    EXPECT_EQ(state("shown-session"), "2");
    EXPECT_EQ(cli_->helperCalls().size(), 6u);
    result = run({"switchToSession", "--id", "99"});
    EXPECT_EQ(result.err, "Failed, error: 0x6a88\n");
    EXPECT_EQ(result.exitStatus, 0x88);

    expectQuietSuccess({"startNewSession"});
    EXPECT_EQ(state("current-session").rfind("6 ", 0), 0u) << state("current-session");
    expectQuietSuccess({"discardCurrentSession"});
    EXPECT_EQ(state("current-session").rfind("7 ", 0), 0u) << state("current-session");
    EXPECT_NE(run({"listSessions"}).out.find(sessionRow("5", "", "").substr(0, 15)),
              std::string::npos);
}

TEST_F(CliEndToEnd, LongSessionListsTakeSeveralPages)
{
    VirtualCardOptions options;
    for (int i = 0; i < 37; ++i)
        options.extraArgs.insert(options.extraArgs.end(), {"--session", "2025-01-01T00:00:00=100"});
    startCard(options);
    const CliResult result = run({"listSessions"}, {}, {"TZ=UTC"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    std::string expected = SESSION_HEADER;
    for (int i = 1; i <= 37; ++i)
        expected += sessionRow(std::to_string(i), "2025-01-01T00:00:00", "512.0 Bytes");
    EXPECT_EQ(result.out, expected);
}

TEST_F(CliEndToEnd, SessionsOfFourGibibytesAndMoreKeepTheirSize)
{
    startCard();
    const std::string currentSession = state("current-session");
    const std::string current = currentSession.substr(0, currentSession.find(' '));
    // A sparse file: the card counts the file's size, not its blocks.
    const std::string clip = card_->sessionsDir() + "/" + current + "/CLIP0001.MP4";
    clitest::writeFile(clip, "");
    std::filesystem::resize_file(clip, 5ull << 30);
    expectQuietSuccess({"startNewSession"});
    const CliResult result = run({"listSessions"}, {}, {"TZ=UTC"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find(padded("5.0 GB", 15) + "\n"), std::string::npos) << result.out;
}

TEST_F(CliEndToEnd, LockedCardRefusesSessionsAfterTheHeader)
{
    startCard();
    activateWithoutAdminUser();
    expectQuietSuccess({"logout"});
    const CliResult result = run({"listSessions"});
    EXPECT_EQ(result.out, SESSION_HEADER);
    EXPECT_EQ(result.err, "Failed, error: 0x6982\n");
    EXPECT_EQ(result.exitStatus, 0x82);
}

TEST_F(CliEndToEnd, FailuresNeverExitZero)
{
    startCard();
    card_->setFault("status", Fault::StatusWord, Repeat::Once, 0x6E00);
    CliResult result = run({"status"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Failed, error: 0x6e00\n");
    EXPECT_EQ(result.exitStatus, 110);

    card_->clearFaults();
    card_->setFault("firmware-version", Fault::StatusWord, Repeat::Once, 0x6D00);
    result = run({"firmwareVersion"});
    EXPECT_EQ(result.err, "Failed, error: 0x6d00\n");
    EXPECT_EQ(result.exitStatus, 109);
    card_->clearFaults();

    activateWithoutAdminUser();
    result = run({"logout"}, {}, {"VIX_FAKE_FAIL_SETTLE=all"});
    EXPECT_EQ(result.err, "Failed, error: -24\nThe card changed, but the system's view of it could "
                          "not be refreshed: remove the card and insert it again.\n");
    EXPECT_EQ(result.exitStatus, 232);

    result = run({"startNewSession"}, {}, {"VIX_FAKE_FAIL_REMOUNT=all"});
    EXPECT_EQ(result.err.rfind("Failed, error: 0x2\nThe card changed, but its partition", 0), 0u)
        << result.err;
    EXPECT_EQ(result.exitStatus, 2);
}

// The admin user query decides which PIN is sent: when it fails, nothing is sent.
TEST_F(CliEndToEnd, FailedAdminUserQueryStopsTheCommand)
{
    startCard();
    activateWithAdminUser();
    for (const auto& line : std::vector<std::vector<std::string>>{
             {"factoryReset", "--adminPin", "12345678"},
             {"unblockPin", "--adminPin", "12345678", "--newPin", "4321"},
             {"changeAdminPin", "--adminPin", "12345678", "--newAdminPin", "87654321"},
             {"status"}}) {
        card_->clearFaults();
        card_->setFault("status", Fault::StatusWord, Repeat::Always, 0x6F0B);
        const CliResult result = run(line);
        EXPECT_EQ(result.err,
                  "Failed, error: 0x6f0b\nThe card holds no valid FAT32 or exFAT file system, "
                  "which activation needs.\n")
            << line[0];
        EXPECT_EQ(result.out, "") << line[0];
        EXPECT_EQ(result.exitStatus, 0x0B) << line[0];
    }
    card_->clearFaults();
    EXPECT_EQ(state("state"), "unlocked");
    EXPECT_EQ(state("pin"), hex("1234"));
    EXPECT_EQ(state("admin-pin"), hex("12345678"));
}

class CliFirmwareUpdate : public CliEndToEnd
{
protected:
    std::string package(std::size_t size)
    {
        const std::string path = card_->folder() + "/update-" + std::to_string(size) + ".bin";
        clitest::writeFile(path, std::string(size, '\x5a'));
        return path;
    }
};

const char* const APPLYING = "Applying FW. Depending on the FW size, this might take multiple "
                             "minutes to complete. Please be patient, do not power cycle the "
                             "device!\n";

TEST_F(CliFirmwareUpdate, SendsWholeChunksAndReportsTheNewVersion)
{
    startCard();
    const std::string path = package(384);
    CliResult result = run({"firmwareUpdate", "--pin", "1234", "--file", path});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string("Transferring FW\n") + APPLYING +
                              "Successfully updated from 1.2.3 to 1.2.4\n");
    EXPECT_EQ(state("firmware-version"), "1.2.4");

    // The card takes chunks only at the offset that continues the package and
    // counts what it received: a refused apply leaves the count to read.
    card_->setFault("firmware-apply", Fault::StatusWord, Repeat::Once, 0x6985);
    result = run({"firmwareUpdate", "--pin", "1234", "--file", path});
    EXPECT_EQ(result.err, std::string("Transferring FW\n") + APPLYING + "Failed, error: 0x6985\n");
    EXPECT_EQ(result.exitStatus, 0x85);
    EXPECT_EQ(state("firmware-received"), "384");
    EXPECT_EQ(state("firmware-version"), "1.2.4");

    // A failed chunk ends the run before the apply step.
    card_->clearFaults();
    card_->setFault("firmware-transfer", Fault::StatusWord, Repeat::Once, 0x6B00);
    result = run({"firmwareUpdate", "--pin", "1234", "--file", path});
    EXPECT_EQ(result.err, "Transferring FW\nFailed, error: 0x6b00\n");
    EXPECT_EQ(result.exitStatus, 0x6B);
    EXPECT_EQ(state("firmware-version"), "1.2.4");
}

TEST_F(CliFirmwareUpdate, RefusesPackagesThatAreNotWholeChunks)
{
    startCard();
    for (std::size_t size : {0, 300, 127}) {
        const std::string path = package(size);
        const CliResult result = run({"firmwareUpdate", "--pin", "1234", "--file", path});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Refusing update package '" + path + "' of " + std::to_string(size) +
                                  " bytes: its size must be a non-zero multiple of 128 bytes. "
                                  "Nothing was sent to the card.\n");
    }
    const std::string missing = card_->folder() + "/missing.bin";
    const CliResult result = run({"firmwareUpdate", "--pin", "1234", "--file", missing});
    EXPECT_NE(result.exitStatus, 0);
    EXPECT_EQ(result.err,
              "Failed to open update package '" + missing + "': No such file or directory\n");
    EXPECT_EQ(state("firmware-received"), "0");
    EXPECT_EQ(state("firmware-version"), "1.2.3");
}

TEST_F(CliFirmwareUpdate, DerivesTheAdminPinAndReportsAnUnchangedVersion)
{
    VirtualCardOptions options;
    options.updateVersion = "same";
    startCard(options);
    activateWithoutAdminUser();
    const std::string path = package(256);
    CliResult result = run({"firmwareUpdate", "--pin", "1234", "--file", path});
    EXPECT_EQ(result.err, std::string("Transferring FW\n") + APPLYING +
                              "Failed, error: -28\nThe card still reports the firmware version it "
                              "had before: the update was not applied.\n");
    EXPECT_EQ(result.exitStatus, 256 - 28);
    // The derived Admin PIN was accepted: no try was used up.
    EXPECT_EQ(state("admin-tries"), "5");

    result = run({"firmwareUpdate", "--pin", "9999", "--file", path});
    EXPECT_EQ(result.err, std::string("Transferring FW\n") + APPLYING +
                              "Failed, error: 0x6f02\nWrong PIN; factory reset tries left: 4.\n");
    EXPECT_EQ(result.exitStatus, 2);
}

} // namespace
