// vaultsim's disk mode: the nodes, loop devices and mount it makes, and that
// nothing of them outlives the card, however the card ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "CardBlockLayout.h"
#include "VirtualCard.h"

namespace {

#define SKIP_WITHOUT_DISK_MODE()                                                                   \
    if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty())                \
    GTEST_SKIP() << reason

bool isBlockDevice(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

std::string mountLine(const std::string& source)
{
    std::ifstream mounts("/proc/mounts");
    for (std::string line; std::getline(mounts, line);) {
        if (line.rfind(source + " ", 0) == 0) {
            return line;
        }
    }
    return {};
}

// Loop devices whose backing file is `image`.
int loopsOver(const std::string& image)
{
    int count = 0;
    DIR* block = ::opendir("/sys/block");
    while (const dirent* entry = block ? ::readdir(block) : nullptr) {
        std::ifstream backing(std::string("/sys/block/") + entry->d_name + "/loop/backing_file");
        std::string path;
        if (std::getline(backing, path) && path.rfind(image, 0) == 0) {
            ++count;
        }
    }
    if (block != nullptr) {
        ::closedir(block);
    }
    return count;
}

std::string sector(const std::string& device, unsigned number)
{
    int fd = ::open(device.c_str(), O_RDONLY | O_DIRECT);
    void* buffer = nullptr;
    std::string data;
    if (fd >= 0 && ::posix_memalign(&buffer, 512, 512) == 0 &&
        ::pread(fd, buffer, 512, off_t(number) * 512) == 512) {
        data.assign(static_cast<char*>(buffer), 512);
    }
    std::free(buffer);
    if (fd >= 0) {
        ::close(fd);
    }
    return data;
}

void expectGone(const std::string& disk, const std::string& partition, const std::string& image)
{
    EXPECT_FALSE(isBlockDevice(disk));
    EXPECT_FALSE(isBlockDevice(partition));
    EXPECT_EQ(mountLine(partition), "");
    EXPECT_EQ(loopsOver(image), 0);
}

vixtest::VirtualCardOptions diskCard()
{
    vixtest::VirtualCardOptions options;
    options.disk = true;
    return options;
}

// Standard output of a shell command line.
std::string output(const std::string& command)
{
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    for (char buffer[256]; pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe);) {
        text += buffer;
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return text;
}

std::string vaultcli(const std::string& partition, const std::string& command)
{
    return output(std::string(VAULTCLI_DISK_PATH) + " " + partition + " " + command + " 2>&1");
}

// A file in the session the card shows, and a command, after which the card presents it.
void putInShownSession(const vixtest::VirtualCard& card, const std::string& name, std::size_t size)
{
    std::ofstream(card.sessionsDir() + "/1/" + name) << std::string(size, 'v');
    vaultcli(card.devicePath(), "status");
}

// Whether the card has taken a command and answers busy.
bool answersBusy(const vixtest::VirtualCard& card)
{
    std::ifstream image(card.imagePath(), std::ios::binary);
    image.seekg(std::stoll(card.stateValue("partition-start")) * 512 + FSI_RAW_BLOCK_OFFSET);
    return image.get() == FSI_PAYLOAD_BUSY;
}

// Reads a file or node from start to end, as a copy does.
struct Reader
{
    Reader(std::string from, int openFlags, std::size_t chunkSize, std::size_t size)
        : path(std::move(from)), flags(openFlags), chunk(chunkSize), total(size)
    {
    }

    const std::string path;
    const int flags;
    const std::size_t chunk;
    const std::size_t total; // what there is to read
    std::atomic<bool> opened{false};
    std::size_t got = 0;
    int error = 0;

    void run()
    {
        const int fd = ::open(path.c_str(), O_RDONLY | flags);
        opened = true;
        void* buffer = nullptr;
        if (fd < 0) {
            error = errno;
        } else if (::posix_memalign(&buffer, 4096, chunk) != 0) {
            error = ENOMEM;
        }
        while (error == 0) {
            const ssize_t now = ::read(fd, buffer, chunk);
            if (now <= 0) {
                error = now < 0 ? errno : 0;
                break;
            }
            got += std::size_t(now);
        }
        std::free(buffer);
        ::close(fd);
    }
};

TEST(Disk, PresentsTheCardAsAPartitionedDiskAndTakesItAwayOnStop)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card(diskCard());
    const std::string disk = card.diskNode();
    const std::string partition = card.devicePath();
    ASSERT_EQ(partition, disk + "1");
    EXPECT_TRUE(isBlockDevice(disk));
    EXPECT_TRUE(isBlockDevice(partition));
    EXPECT_EQ(loopsOver(card.imagePath()), 2);
    EXPECT_EQ(
        mountLine(partition).rfind(partition + " " + card.mountPoint() + " fuse.vaultsim ", 0), 0u)
        << mountLine(partition);

    const std::string table = sector(disk, 0);
    ASSERT_EQ(table.size(), 512u);
    EXPECT_EQ(table.substr(510), "\x55\xAA");
    EXPECT_EQ(table.substr(446 + 8, 4), std::string("\x00\x08\x00\x00", 4)); // starts at 2048
    EXPECT_EQ(sector(partition, 26).rfind("Kendrova-SFC-SD-ccv2", 0), 0u);
    EXPECT_EQ(sector(disk, 2048 + 26), sector(partition, 26));

    card.stop();
    expectGone(disk, partition, card.imagePath());
}

TEST(Disk, WhatAKilledCardLeftIsTakenAwayByTheNextRun)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card(diskCard());
    const std::string disk = card.diskNode();
    ::kill(card.pid(), SIGKILL);
    card.stop();
    ASSERT_TRUE(isBlockDevice(disk)) << "the killed card had no chance to clean up";
    const int status = std::system((vixtest::vaultsimPath() + " clean-up >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectGone(disk, disk + "1", card.imagePath());
}

TEST(Disk, AnImageWithoutPartitionTableIsRefused)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card; // a partition image
    card.stop();
    const int status = std::system(
        (vixtest::vaultsimPath() + " serve " + card.imagePath() + " --disk >/dev/null 2>&1")
            .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(Disk, CardsAttachedTogetherEachKeepTheirOwnDisk)
{
    SKIP_WITHOUT_DISK_MODE();
    // The first card's server runs as "exe", the name `vaultsim attach` once gave them.
    const std::string program = vixtest::vaultsimPath();
    char folder[] = "/tmp/vix-alias-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string alias = std::string(folder) + "/exe";
    ASSERT_EQ(::symlink(program.c_str(), alias.c_str()), 0);
    ::setenv("VIX_VAULTSIM", alias.c_str(), 1);
    vixtest::VirtualCard first(diskCard());
    ::setenv("VIX_VAULTSIM", program.c_str(), 1);
    ::unlink(alias.c_str());
    ::rmdir(folder);
    // Attaching, and cleaning up, take away only what no running card owns.
    vixtest::VirtualCard second(diskCard());
    ASSERT_EQ(std::system((program + " clean-up >/dev/null").c_str()), 0);

    ASSERT_NE(first.devicePath(), second.devicePath());
    for (const vixtest::VirtualCard* card : {&first, &second}) {
        SCOPED_TRACE(card->devicePath());
        EXPECT_NE(vaultcli(card->devicePath(), "status").find("Card state: Transparent"),
                  std::string::npos);
        putInShownSession(*card, "name.txt", 3);
        std::ifstream presented(card->mountPoint() + "/name.txt");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(presented), {}), "vvv");
    }
}

TEST(Disk, PullingTheCardFailsTheReadsInFlight)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCardOptions options = diskCard();
    options.extraArgs = {"--size", "32M"};
    options.readBytesPerSecond = 2000000;
    vixtest::VirtualCard card(options);
    putInShownSession(card, "big.bin", 16 << 20);

    Reader readers[] = {{card.mountPoint() + "/big.bin", 0, 1 << 20, 16 << 20},
                        {card.devicePath(), O_DIRECT, 4 << 20, 32 << 20}};
    std::vector<std::thread> threads;
    for (Reader& reader : readers) {
        threads.emplace_back(&Reader::run, &reader);
    }
    for (Reader& reader : readers) {
        while (!reader.opened) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // At this read speed the first chunk of each is still on its way.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    card.pull();
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.path);
        EXPECT_TRUE(reader.error == EIO || reader.error == ENODEV || reader.error == ENXIO)
            << std::strerror(reader.error);
        EXPECT_LT(reader.got, reader.total);
    }
}

TEST(Disk, PullingTheCardFailsTheCommandInFlight)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card(diskCard());
    card.setFault("activate", vixtest::Fault::StayBusy);
    std::string exchange;
    std::thread host(
        [&] { exchange = vaultcli(card.devicePath(), "activate --pin 1234 --retryCounter 3"); });
    // An activation waits minutes for its answer.
    for (int wait = 0; wait < 400 && !answersBusy(card); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const bool taken = answersBusy(card);
    card.pull();
    host.join();
    ASSERT_TRUE(taken) << exchange;
    // A read error (TRESORA_AC_ERR_READ), not the end of the wait.
    EXPECT_NE(exchange.find("error: -11,"), std::string::npos) << exchange;
}

TEST(Disk, PluggingInAgainIsAPowerCycle)
{
    SKIP_WITHOUT_DISK_MODE();
    const struct
    {
        std::string pin;
        std::string stateAfter;
    } cases[] = {{"1234", "Card state: Locked"}, {"", "Card state: Transparent"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.stateAfter);
        vixtest::VirtualCardOptions options = diskCard();
        options.pin = test.pin;
        vixtest::VirtualCard card(options);
        ::setenv("VIX_MOUNT_STATE_DIR", (card.folder() + "/mount-notes").c_str(), 1);
        vaultcli(card.devicePath(), "setReadOnly");
        ASSERT_NE(vaultcli(card.devicePath(), "status").find("Read-only: true"), std::string::npos);
        card.pull();
        card.plugIn();
        const std::string status = vaultcli(card.devicePath(), "status");
        EXPECT_NE(status.find(test.stateAfter), std::string::npos) << status;
        EXPECT_NE(status.find("Read-only: false"), std::string::npos) << status;
    }
}

} // namespace
