// vaultcli on a virtual card attached as a real disk, with the shipped mount
// helper and partrescan: the mounted content must follow the card's state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "VirtualCard.h"

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kRecordedAt = 1793959200; // 2026-11-06T10:00:00Z

struct CliRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "relative/path:size" of every file below the mount, sorted; "<unmounted>" when
// the partition is not mounted there.
std::string listing(const vixtest::VirtualCard& card)
{
    if (slurp("/proc/mounts").find(card.devicePath() + " " + card.mountPoint() + " ") ==
        std::string::npos) {
        return "<unmounted>";
    }
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(card.mountPoint())) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), card.mountPoint()).string() + ":" +
                            std::to_string(entry.file_size()));
        }
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const std::string& file : files) {
        text += (text.empty() ? "" : " ") + file;
    }
    return text;
}

class DiskTour : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        vixtest::VirtualCardOptions options;
        options.disk = true;
        options.exampleSessions = true;
        card = std::make_unique<vixtest::VirtualCard>(options);
        ::setenv("VIX_MOUNT_STATE_DIR", (card->folder() + "/mount-notes").c_str(), 1);
    }

    CliRun vaultcli(const std::string& arguments) const
    {
        const std::string out = card->folder() + "/out.txt";
        const std::string err = card->folder() + "/err.txt";
        int status = std::system((std::string(VAULTCLI_DISK_PATH) + " " + card->devicePath() + " " +
                                  arguments + " >" + out + " 2>" + err + " </dev/null")
                                     .c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    }

    std::string currentSession() const
    {
        return card->stateValue("current-session")
            .substr(0, card->stateValue("current-session").find(' '));
    }

    // The camera writes a file into the session being recorded.
    void record(const std::string& name, std::size_t size) const
    {
        const fs::path file = card->sessionsDir() + "/" + currentSession() + "/" + name;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << std::string(size, 'v');
        // Set in whole seconds: a conversion between the two clocks can be off by one.
        const timespec at[2] = {{kRecordedAt, 0}, {kRecordedAt, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), at, 0), 0);
    }

    std::unique_ptr<vixtest::VirtualCard> card;
};

struct Step
{
    const char* arguments; // "{id}" stands for the recorded session's id
    int status;
    const char* outputLine; // a line the output must hold, or nullptr
    const char* content;    // what the mount must show afterwards, or nullptr
};

TEST_F(DiskTour, EveryCommandChangesTheMountedContentAsTheCardDoes)
{
    std::string recorded; // the session of the first recording
    const Step steps[] = {
        {"status", 0, "Card state: Transparent", ""},
        {"controllerID", 0, nullptr, nullptr},
        {"firmwareVersion", 0, "1.2.3", nullptr},
        {"listSessions", 0, nullptr, nullptr},
        {"activate --pin 1234 --adminPin 12345678 --retryCounter 5", 0, nullptr, ""},
        {"status", 0, "Card state: Unlocked", nullptr},
        {"@record DCIM/CLIP0001.MP4 3000", 0, nullptr, nullptr},
        {"startNewSession", 0, nullptr, ""},
        {"@record LIVE.MP4 700", 0, nullptr, nullptr},
        {"setReadWrite", 0, nullptr, "LIVE.MP4:700"},
        {"logout", 0, nullptr, "LIVE.MP4:700"},
        {"@protected", 0, nullptr, nullptr},
        {"login --pin 0000", 2, nullptr, "LIVE.MP4:700"},
        {"login --pin 1234", 0, nullptr, "LIVE.MP4:700"},
        {"@plain", 0, nullptr, nullptr},
        {"listSessions", 0, nullptr, nullptr},
        {"switchToSession --id {id}", 0, nullptr, "DCIM/CLIP0001.MP4:3000"},
        {"setReadOnly", 0, nullptr, nullptr},
        {"setReadWrite", 0, nullptr, nullptr},
        {"changePin --pin 1234 --newPin 4321", 0, nullptr, nullptr},
        {"logout", 0, nullptr, nullptr},
        {"login --pin 4321", 0, "", nullptr},
        {"changeAdminPin --adminPin 12345678 --newAdminPin 87654321", 0, nullptr, nullptr},
        {"unblockPin --adminPin 87654321 --newPin 5678", 0, nullptr, nullptr},
        {"discardCurrentSession", 0, nullptr, nullptr},
        {"wipeContent --adminPin 87654321", 0, nullptr, ""},
        {"listSessions", 0, nullptr, nullptr},
        {"factoryReset --adminPin 87654321", 0, nullptr, ""},
        {"status", 0, "Card state: Transparent", ""},
    };
    for (const Step& step : steps) {
        std::string arguments = step.arguments;
        SCOPED_TRACE(arguments);
        if (arguments.rfind("@record ", 0) == 0) {
            std::istringstream words(arguments.substr(8));
            std::string name;
            std::size_t size = 0;
            words >> name >> size;
            recorded = recorded.empty() ? currentSession() : recorded;
            record(name, size);
            continue;
        }
        if (arguments == "@protected" || arguments == "@plain") {
            const std::string head = slurp(card->mountPoint() + "/LIVE.MP4").substr(0, 16);
            EXPECT_EQ(head, arguments == "@protected" ? "*PROTECTED DATA*" : std::string(16, 'v'));
            continue;
        }
        if (std::size_t at = arguments.find("{id}"); at != std::string::npos) {
            arguments.replace(at, 4, recorded);
        }
        const CliRun run = vaultcli(arguments);
        EXPECT_EQ(run.status, step.status) << run.out << run.err;
        if (step.outputLine != nullptr && *step.outputLine != '\0') {
            EXPECT_NE(("\n" + run.out).find("\n" + std::string(step.outputLine) + "\n"),
                      std::string::npos)
                << run.out;
        }
        if (step.content != nullptr) {
            EXPECT_EQ(listing(*card), step.content);
        }
    }
}

TEST_F(DiskTour, RecordedFilesKeepTheirTimesOnTheMount)
{
    ASSERT_EQ(vaultcli("activate --pin 1234 --retryCounter 5").status, 0);
    record("DCIM/CLIP0001.MP4", 10);
    const std::string recorded = currentSession();
    ASSERT_EQ(vaultcli("startNewSession").status, 0);
    ASSERT_EQ(vaultcli("switchToSession --id " + recorded).status, 0);
    struct stat info
    {
    };
    ASSERT_EQ(::stat((card->mountPoint() + "/DCIM/CLIP0001.MP4").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kRecordedAt);
    struct stat folder
    {
    };
    struct stat source
    {
    };
    ASSERT_EQ(::stat((card->mountPoint() + "/DCIM").c_str(), &folder), 0);
    ASSERT_EQ(::stat((card->sessionsDir() + "/" + recorded + "/DCIM").c_str(), &source), 0);
    EXPECT_EQ(folder.st_mtime, source.st_mtime);
}

// Loop devices still serving the card's image.
int loopsOver(const std::string& image)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/sys/block")) {
        const std::string backing = slurp(entry.path().string() + "/loop/backing_file");
        count += backing.rfind(image, 0) == 0 ? 1 : 0;
    }
    return count;
}

bool nodeExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::lstat(path.c_str(), &info) == 0;
}

TEST_F(DiskTour, CardPulledDuringACommandFailsItAndLeavesNothing)
{
    card->setFault("status", vixtest::Fault::Vanish);
    const CliRun run = vaultcli("status");
    EXPECT_NE(run.status, 0) << run.out;
    card->stop();
    EXPECT_FALSE(nodeExists(card->diskNode()));
    EXPECT_FALSE(nodeExists(card->devicePath()));
    EXPECT_EQ(listing(*card), "<unmounted>");
    EXPECT_EQ(loopsOver(card->imagePath()), 0);
}

TEST_F(DiskTour, ADiskHeldOpenGoesAwayWhenItsHolderLetsGo)
{
    const int holder = ::open(card->devicePath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    EXPECT_EQ(vaultcli("status").status, 0);
    card->stop();
    EXPECT_FALSE(nodeExists(card->devicePath()));
    EXPECT_EQ(listing(*card), "<unmounted>");
    ::close(holder);
    EXPECT_EQ(loopsOver(card->imagePath()), 0);
}

// BLKRRPART is refused while another program has the whole disk to itself: the
// command's follow-up fails and says so, and the mount helper mounts again later.
TEST_F(DiskTour, ExclusiveHolderMakesThePartitionRereadFailVisibly)
{
    ASSERT_EQ(vaultcli("activate --pin 1234 --retryCounter 5").status, 0);
    record("CLIP0001.MP4", 100);
    const int holder = ::open(card->diskNode().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    EXPECT_EQ(vaultcli("wipeContent --pin 1234").status, 256 - 24); // TRESORA_AC_ERR_REFRESH
    EXPECT_EQ(listing(*card), "<unmounted>");
    ::close(holder);
    const std::string remount =
        std::string(VIX_DISK_HELPER_DIR) + "/mountpoint_manager remount " + card->devicePath();
    EXPECT_EQ(std::system(remount.c_str()), 0);
    EXPECT_EQ(listing(*card), "");
}

// Whoever unmounted the card meant it: the next command succeeds and mounts nothing.
TEST_F(DiskTour, MountThatDisappearedIsNoErrorAndStaysUnmounted)
{
    ASSERT_EQ(vaultcli("activate --pin 1234 --retryCounter 5").status, 0);
    record("CLIP0001.MP4", 100);
    ASSERT_EQ(::umount2(card->mountPoint().c_str(), 0), 0);
    ASSERT_EQ(listing(*card), "<unmounted>");
    EXPECT_EQ(vaultcli("logout").status, 0);
    EXPECT_EQ(listing(*card), "<unmounted>");
}

} // namespace
