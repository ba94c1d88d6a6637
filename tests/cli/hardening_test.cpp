// vaultcli against devices that are not cards, against a card another program
// holds, and at its hidden prompt: nothing written, nothing shown, nothing lost.
#include "CardIdentification.h"
#include "CardLock.h"
#include "CliProcess.h"
#include "HostTools.h"
#include "VirtualCard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <pty.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using clitest::CliProcess;
using clitest::CliResult;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

namespace {

const int NOT_A_CARD_STATUS = 226;  // -30
const int CARD_IN_USE_STATUS = 227; // -29
const char* const PACKAGE = "@package@";

// Every command, with each PIN-carrying form; PACKAGE stands for a valid package.
const std::vector<std::vector<std::string>> EVERY_COMMAND = {
    {"status"},
    {"controllerID"},
    {"firmwareVersion"},
    {"logout"},
    {"setReadOnly"},
    {"setReadWrite"},
    {"listSessions"},
    {"discardCurrentSession"},
    {"startNewSession"},
    {"login", "--pin", "987654"},
    {"factoryReset", "--pin", "987654"},
    {"factoryReset", "--adminPin", "12345678"},
    {"wipeContent", "--pin", "987654"},
    {"wipeContent", "--adminPin", "12345678"},
    {"switchToSession", "--id", "1"},
    {"activate", "--pin", "987654", "--retryCounter", "5"},
    {"changePin", "--pin", "987654", "--newPin", "123456"},
    {"unblockPin", "--adminPin", "12345678", "--newPin", "123456"},
    {"changeAdminPin", "--adminPin", "12345678", "--newAdminPin", "87654321"},
    {"firmwareUpdate", "--pin", "987654", "--file", PACKAGE},
    {"firmwareUpdate", "--adminPin", "12345678", "--file", PACKAGE},
    {"activate", "--pin", "987654", "--adminPin", "12345678", "--retryCounter", "5"},
};

std::string fileBytes(const std::string& path)
{
    return clitest::readFile(path);
}

// Waits (without a time assertion) until the condition holds; false after a minute.
bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class NotACard : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::string(CLI_SCRATCH_DIR) + "/" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        package = folder + "/package.bin";
        clitest::writeFile(package, std::string(256, '\x5a'));
        cli = std::make_unique<CliProcess>(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Runs every command on the device; each is refused and the bytes stay as they were.
    void expectEveryCommandRefused(const std::string& device, const std::string& image)
    {
        const std::string before = fileBytes(image);
        for (std::vector<std::string> arguments : EVERY_COMMAND) {
            std::replace(arguments.begin(), arguments.end(), std::string(PACKAGE), package);
            arguments.insert(arguments.begin(), device);
            const CliResult result = cli->run(arguments);
            const std::string line = testing::PrintToString(arguments);
            EXPECT_EQ(result.exitStatus, NOT_A_CARD_STATUS) << line << result.err;
            EXPECT_EQ(result.out, "") << line;
            EXPECT_EQ(result.err.rfind("Refusing " + device + ": ", 0), 0u) << result.err;
            EXPECT_NE(result.err.find("Nothing was written"), std::string::npos) << result.err;
        }
        EXPECT_TRUE(fileBytes(image) == before) << "the device was changed";
    }

    std::string folder;
    std::string package;
    std::unique_ptr<CliProcess> cli;
};

TEST_F(NotACard, FileOfRandomBytesStaysByteIdentical)
{
    std::mt19937 generator(12);
    std::string bytes(4 * 1024 * 1024, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    const std::string image = folder + "/notacard.img";
    clitest::writeFile(image, bytes);
    expectEveryCommandRefused(image, image);
}

TEST_F(NotACard, LoopDeviceWithAGptDiskStaysByteIdentical)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "loop devices need root";
    const std::string image = folder + "/gpt.img";
    ASSERT_EQ(vixtest::runProgram({"truncate", "-s", "8M", image}).exitStatus, 0);
    const std::string table = folder + "/table";
    clitest::writeFile(table, "label: gpt\n,,L\n");
    if (vixtest::runProgram({"sh", "-c", "sfdisk -q '" + image + "' < '" + table + "'"})
            .exitStatus != 0)
        GTEST_SKIP() << "sfdisk cannot write a GPT here";
    vixtest::LoopDevice loop(image, false);
    if (loop.path().empty())
        GTEST_SKIP() << "no loop device: " << loop.whyMissing();
    expectEveryCommandRefused(loop.path(), image);
}

// Only a block device has a whole disk: an image file named like a partition of a
// file beside it must carry the record itself.
TEST_F(NotACard, FileBesideAnotherIsNoPartitionOfIt)
{
    VirtualCard card;
    // Clear the record on the image, and put one in a file named like its whole disk.
    const std::string blank(CARD_ID_SECTOR_SIZE, '\0');
    {
        const int fd = ::open(card.devicePath().c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (int n = 0; n < 2; ++n)
            ASSERT_EQ(pwrite(fd, blank.data(), blank.size(), cardIdentificationSectorOffset(n)),
                      static_cast<ssize_t>(blank.size()));
        ::close(fd);
    }
    const std::string partition = card.folder() + "/disk1";
    ASSERT_EQ(::link(card.devicePath().c_str(), partition.c_str()), 0);
    const CliProcess cardCli(card.folder());

    CliResult result = cardCli.run({partition, "status"});
    EXPECT_EQ(result.exitStatus, NOT_A_CARD_STATUS) << result.err;

    std::string disk(64 * 1024, '\0');
    std::memcpy(&disk[CARD_ID_PRIMARY_SECTOR * CARD_ID_SECTOR_SIZE], CARD_ID_TEXT_CCV2,
                sizeof CARD_ID_TEXT_CCV2);
    clitest::writeFile(card.folder() + "/disk", disk);
    result = cardCli.run({partition, "status"});
    EXPECT_EQ(result.exitStatus, NOT_A_CARD_STATUS) << result.err;
    EXPECT_EQ(result.out, "");
}

// Holds the card's lock as another program would.
class LockHolder
{
public:
    explicit LockHolder(const std::string& device)
        : fd_(::open(cardLockFilePath(device.c_str()).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC,
                     0644))
    {
        if (fd_ < 0 || flock(fd_, LOCK_EX) != 0)
            throw std::runtime_error("cannot take the card lock");
    }
    ~LockHolder() { release(); }
    void release()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

std::string procText(pid_t pid, const char* name)
{
    return clitest::readFile("/proc/" + std::to_string(pid) + "/" + name);
}

bool holdsOpen(pid_t pid, const std::string& path)
{
    struct stat target;
    if (stat(path.c_str(), &target) != 0)
        return false;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(fds)) {
        struct stat open;
        if (stat(entry.path().c_str(), &open) == 0 && open.st_ino == target.st_ino &&
            open.st_dev == target.st_dev)
            return true;
    }
    return false;
}

const char* const WAIT_NOTICE = "Waiting for another program to release the card";

class BusyCard : public testing::Test
{
protected:
    void startCard(const VirtualCardOptions& options)
    {
        card = std::make_unique<VirtualCard>(options);
        cli = std::make_unique<CliProcess>(card->folder());
        clitest::writeFile(card->folder() + "/stdin", "");
    }
    bool noticed() const { return cli->errorsSoFar().find(WAIT_NOTICE) != std::string::npos; }

    std::unique_ptr<VirtualCard> card;
    std::unique_ptr<CliProcess> cli;
};

TEST_F(BusyCard, WaitIsAnnouncedWithoutThePinInTheProcessListOrTheCardOpen)
{
    VirtualCardOptions options;
    options.pin = "987654";
    options.locked = true;
    startCard(options);
    LockHolder other(card->devicePath());
    const pid_t pid = cli->spawn({card->devicePath(), "login", "--pin", "987654"}, -1, {});
    ASSERT_TRUE(eventually([&] { return noticed(); })) << cli->errorsSoFar();
    EXPECT_EQ(procText(pid, "cmdline").find("987654"), std::string::npos);
    EXPECT_FALSE(holdsOpen(pid, card->devicePath())) << "the partition is open while waiting";
    other.release();
    const CliResult result = cli->collect(pid);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(card->stateValue("state"), "unlocked");
}

// Waits as long as the longest card command, 130 s.
TEST_F(BusyCard, WaitThatTimesOutHasItsOwnCode)
{
    startCard({});
    LockHolder other(card->devicePath());
    const CliResult result = cli->run({card->devicePath(), "status"});
    EXPECT_EQ(result.exitStatus, CARD_IN_USE_STATUS);
    EXPECT_NE(result.err.find(WAIT_NOTICE), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Failed, error: -29\nAnother program kept the card busy"),
              std::string::npos)
        << result.err;
}

bool echoIsOn(int terminal)
{
    struct termios settings;
    return tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

bool ignoresSignal(pid_t pid, int signalNumber)
{
    const std::string status = procText(pid, "status");
    const std::size_t at = status.find("SigIgn:\t");
    if (at == std::string::npos)
        return false;
    const unsigned long long mask = std::stoull(status.substr(at + 8, 16), nullptr, 16);
    return (mask >> (signalNumber - 1)) & 1u;
}

TEST_F(BusyCard, PromptGivesBackEchoWhenSuspendedAndKeepsIgnoredSignalsIgnored)
{
    VirtualCardOptions options;
    options.pin = "1234";
    options.locked = true;
    startCard(options);
    int master = -1, terminal = -1;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    LockHolder other(card->devicePath());

    // Started as under nohup.
    struct sigaction ignore
    {
    };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous;
    sigaction(SIGHUP, &ignore, &previous);
    const pid_t pid = cli->spawn({card->devicePath(), "login", "--pin", "-"}, terminal, {}, true);
    sigaction(SIGHUP, &previous, nullptr);

    ASSERT_TRUE(eventually([&] { return !echoIsOn(terminal); }));
    kill(pid, SIGTSTP);
    int status = 0;
    ASSERT_TRUE(eventually([&] { return waitpid(pid, &status, WUNTRACED | WNOHANG) == pid; }));
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_TRUE(echoIsOn(terminal)) << "stopped with the echo off";
    kill(pid, SIGCONT);
    EXPECT_TRUE(eventually([&] { return !echoIsOn(terminal); })) << "continued with the echo on";

    const std::string typed = "1234\n";
    ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ASSERT_TRUE(eventually([&] { return noticed(); })) << cli->errorsSoFar();
    EXPECT_TRUE(echoIsOn(terminal));
    EXPECT_TRUE(ignoresSignal(pid, SIGHUP)) << "SIGHUP is no longer ignored after the prompt";
    other.release();
    const CliResult result = cli->collect(pid);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(card->stateValue("state"), "unlocked");
    close(master);
    close(terminal);
}

} // namespace
