// The partition re-read helper and the mount helper as programs: their
// messages, exit statuses, and real runs on loop devices when the machine allows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "HostTools.h"

namespace {

using vixtest::LoopDevice;
using vixtest::runProgram;
using vixtest::TempFolder;

const std::string kPartrescan = PARTRESCAN_PROGRAM;
const std::string kMountManager = MOUNT_MANAGER_PROGRAM;

std::string rereadFailure(int error)
{
    return "Error rereading partitions, errno: " + std::to_string(error) +
           "\nCheck that the binary has CAP_SYS_ADMIN and CAP_DAC_OVERRIDE capabilities.\n";
}

TEST(Partrescan, WrongArgumentCountPrintsUsageWithTheInvokedName)
{
    for (const auto& argv : {std::vector<std::string>{kPartrescan},
                             std::vector<std::string>{kPartrescan, "/dev/sda", "/dev/sdb"}}) {
        const auto run = runProgram(argv);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "Usage: " + kPartrescan + " /dev/sdX\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(Partrescan, MissingDeviceReportsTheOpenFailure)
{
    const auto run = runProgram({kPartrescan, "/dev/no-such-disk"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "Failed to open: /dev/no-such-disk, errno: 2\nCheck the device permissions.\n");
}

TEST(Partrescan, RefusesWhatIsNotABlockDevice)
{
    TempFolder folder;
    const std::string file = folder.path() + "/plain file";
    std::ofstream(file) << "not a disk";
    const std::string fifo = folder.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    // A FIFO without a writer would block an open without O_NONBLOCK.
    for (const std::string& path : {file, fifo, folder.path(), std::string("/dev/null")}) {
        const auto run = runProgram({kPartrescan, path});
        EXPECT_EQ(run.exitStatus, 1) << path;
        EXPECT_EQ(run.err, rereadFailure(ENOTTY)) << path;
    }
}

std::string openFailure(const std::string& path, int error)
{
    return "Failed to open: " + path + ", errno: " + std::to_string(error) +
           "\nCheck the device permissions.\n";
}

const std::vector<std::string> AS_NOBODY = {"setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};

std::vector<std::string> asNobody(std::vector<std::string> argv)
{
    argv.insert(argv.begin(), AS_NOBODY.begin(), AS_NOBODY.end());
    return argv;
}

// The helper as installed, run by an ordinary user: a copy that carries its two
// capabilities, started as "nobody".
class PartrescanAsUser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "giving the helper its capabilities needs root";
        chmod(folder.path().c_str(), 0755);
        helper = folder.path() + "/partrescan";
        ASSERT_EQ(runProgram({"cp", kPartrescan, helper}).exitStatus, 0);
        if (runProgram({"setcap", "cap_sys_admin,cap_dac_override+ep", helper}).exitStatus != 0)
            GTEST_SKIP() << "setcap cannot give the helper capabilities here";
    }
    TempFolder folder;
    std::string helper;
};

TEST_F(PartrescanAsUser, RefusesWhatTheUserCouldNotOpenAndWhatIsNoBlockDevice)
{
    const std::string image = folder.path() + "/disk.img";
    vixtest::writePartitionedImage(image, 8);
    LoopDevice loop(image, false);
    struct stat disk;
    if (loop.path().empty() || stat(loop.path().c_str(), &disk) != 0)
        GTEST_SKIP() << "no loop device: " << loop.whyMissing();
    const std::string unreadable = folder.path() + "/unreadable";
    const std::string readable = folder.path() + "/readable";
    const std::string link = folder.path() + "/link";
    const std::string fifo = folder.path() + "/fifo";
    ASSERT_EQ(mknod(unreadable.c_str(), S_IFBLK | 0600, disk.st_rdev), 0);
    ASSERT_EQ(mknod(readable.c_str(), S_IFBLK | 0644, disk.st_rdev), 0);
    ASSERT_EQ(symlink(readable.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);

    const struct
    {
        std::string path;
        std::string message;
    } cases[] = {{unreadable, openFailure(unreadable, EACCES)},
                 {link, rereadFailure(ENOTTY)},
                 {fifo, rereadFailure(ENOTTY)},
                 {"/dev/null", rereadFailure(ENOTTY)}};
    for (const auto& refused : cases) {
        const auto run = runProgram(asNobody({helper, refused.path}));
        EXPECT_EQ(run.exitStatus, 1) << refused.path;
        EXPECT_EQ(run.err, refused.message) << refused.path;
    }
}

class PartrescanOnLoopDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        image = folder.path() + "/disk.img";
        vixtest::writePartitionedImage(image, 8);
    }
    TempFolder folder;
    std::string image;
};

TEST_F(PartrescanOnLoopDevice, WholeDiskIsRereadSilently)
{
    LoopDevice loop(image, true);
    if (loop.path().empty())
        GTEST_SKIP() << "no loop device: " << loop.whyMissing();
    const auto run = runProgram({kPartrescan, loop.path()});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
}

TEST_F(PartrescanOnLoopDevice, KernelRefusalIsReportedWithItsErrno)
{
    LoopDevice loop(image, false); // without partition scanning the kernel refuses
    if (loop.path().empty())
        GTEST_SKIP() << "no loop device: " << loop.whyMissing();
    const auto run = runProgram({kPartrescan, loop.path()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, rereadFailure(EINVAL));
}

TEST_F(PartrescanOnLoopDevice, PartitionInsteadOfWholeDiskIsRefused)
{
    LoopDevice loop(image, true);
    if (loop.path().empty())
        GTEST_SKIP() << "no loop device: " << loop.whyMissing();
    const std::string partition = loop.path() + "p1";
    struct stat info;
    if (stat(partition.c_str(), &info) != 0)
        GTEST_SKIP() << "this machine creates no partition node " << partition;
    const auto run = runProgram({kPartrescan, partition});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, rereadFailure(EINVAL));
}

TEST(MountManager, RefusesAnythingButTheTwoCommandLines)
{
    for (const auto& argv : {std::vector<std::string>{kMountManager},
                             std::vector<std::string>{kMountManager, "mount", "/dev/null"},
                             std::vector<std::string>{kMountManager, "remount"},
                             std::vector<std::string>{kMountManager, "remount", "/dev/null"},
                             std::vector<std::string>{kMountManager, "unmount", "-a"}}) {
        const auto run = runProgram(argv);
        EXPECT_EQ(run.exitStatus, 1) << argv.size();
        EXPECT_NE(run.err, "");
    }
}

class MountManagerOnLoopDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (runProgram({"mkfs.ext2", "-V"}).exitStatus != 0)
            GTEST_SKIP() << "mkfs.ext2 is not installed";
        image = folder.path() + "/fs.img";
        mountPoint = folder.path() + "/card mount";
        setenv("VIX_MOUNT_STATE_DIR", (folder.path() + "/state").c_str(), 1);
        ASSERT_EQ(runProgram({"truncate", "-s", "8M", image}).exitStatus, 0);
        ASSERT_EQ(runProgram({"mkfs.ext2", "-q", "-F", image}).exitStatus, 0);
        loop = std::make_unique<LoopDevice>(image, false);
        if (loop->path().empty())
            GTEST_SKIP() << "no loop device: " << loop->whyMissing();
        mkdir(mountPoint.c_str(), 0700);
        if (runProgram({"mount", loop->path(), mountPoint}).exitStatus != 0)
            GTEST_SKIP() << "this machine does not allow mounting a loop device";
        mounted = true;
        std::ofstream(mountPoint + "/file") << "content";
    }

    void TearDown() override
    {
        if (!mounted)
            return;
        // Whatever a test stacked there goes too.
        while (runProgram({"findmnt", "--mountpoint", mountPoint}).exitStatus == 0 &&
               runProgram({"umount", mountPoint}).exitStatus == 0) {
        }
        runProgram({"umount", "--all-targets", loop->path()});
        unsetenv("VIX_MOUNT_STATE_DIR");
    }

    // A program of the given name on a folder put first on PATH.
    void fakeProgram(const std::string& name, const std::string& script)
    {
        const std::string bin = folder.path() + "/bin";
        mkdir(bin.c_str(), 0755);
        const std::string path = bin + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        chmod(path.c_str(), 0755);
    }

    int manageWith(const std::vector<std::string>& prefix, const std::string& action,
                   std::string* err = nullptr) const
    {
        std::vector<std::string> argv = prefix;
        argv.insert(argv.end(), {"env", "PATH=" + folder.path() + "/bin:" + getenv("PATH"),
                                 kMountManager, action, loop->path()});
        const auto run = runProgram(argv);
        if (err != nullptr)
            *err = run.err;
        return run.exitStatus;
    }

    std::string topFileSystemAt(const std::string& target) const
    {
        // Stacked mounts are listed bottom first.
        const auto run = runProgram({"findmnt", "-n", "-o", "FSTYPE", "--mountpoint", target});
        const std::string lines = run.out.substr(0, run.out.find_last_not_of('\n') + 1);
        return lines.substr(lines.find_last_of('\n') + 1);
    }

    bool recordsKept() const
    {
        const std::string state = folder.path() + "/state";
        return std::filesystem::exists(state) && !std::filesystem::is_empty(state);
    }

    std::string mountedAt() const
    {
        const auto run = runProgram({"findmnt", "-n", "-o", "TARGET", "--source", loop->path()});
        return run.out.substr(0, run.out.find('\n'));
    }

    int manage(const std::string& action) const
    {
        return runProgram({kMountManager, action, loop->path()}).exitStatus;
    }

    TempFolder folder;
    std::string image;
    std::string mountPoint;
    std::unique_ptr<LoopDevice> loop;
    bool mounted = false;
};

TEST_F(MountManagerOnLoopDevice, UnmountThenRemountReturnsToTheSameMountPoint)
{
    EXPECT_EQ(manage("unmount"), 0);
    EXPECT_EQ(mountedAt(), "");
    EXPECT_EQ(manage("unmount"), 0) << "an unmounted partition stays unmounted";
    EXPECT_EQ(manage("remount"), 0);
    EXPECT_EQ(mountedAt(), mountPoint);
    std::ifstream file(mountPoint + "/file");
    std::string content;
    file >> content;
    EXPECT_EQ(content, "content");
}

TEST_F(MountManagerOnLoopDevice, RemountOfAMountedPartitionMountsItAfresh)
{
    EXPECT_EQ(manage("remount"), 0);
    EXPECT_EQ(mountedAt(), mountPoint);
}

} // namespace

namespace {

const char* const REFUSING_UDISKS =
    "[ \"$1\" = status ] && exit 0\n"
    "echo \"Error: GDBus.Error:org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain: Not "
    "authorized to perform operation\" >&2\n"
    "exit 1";

TEST_F(MountManagerOnLoopDevice, UdisksRefusalFallsBackToThePlainWayForRoot)
{
    fakeProgram("udisksctl", REFUSING_UDISKS);
    EXPECT_EQ(manageWith({}, "unmount"), 0);
    EXPECT_EQ(mountedAt(), "");
    EXPECT_EQ(manageWith({}, "remount"), 0);
    EXPECT_EQ(mountedAt(), mountPoint);
}

TEST_F(MountManagerOnLoopDevice, UdisksRefusalIsReportedToAnOrdinaryUser)
{
    fakeProgram("udisksctl", REFUSING_UDISKS);
    chmod(folder.path().c_str(), 0755);
    const std::string state = folder.path() + "/state";
    mkdir(state.c_str(), 0777);
    chmod(state.c_str(), 0777);
    std::string err;
    EXPECT_EQ(manageWith(AS_NOBODY, "unmount", &err), 1);
    EXPECT_NE(err.find("Not authorized to perform operation"), std::string::npos) << err;
    EXPECT_EQ(mountedAt(), mountPoint);
}

TEST_F(MountManagerOnLoopDevice, NeverMountedAndNothingRememberedIsNothingToRefresh)
{
    ASSERT_EQ(runProgram({"umount", mountPoint}).exitStatus, 0);
    EXPECT_EQ(manage("remount"), 0);
    EXPECT_EQ(mountedAt(), "");
}

TEST_F(MountManagerOnLoopDevice, RecordIsUsedOnceAndNeverMountsOverSomethingElse)
{
    ASSERT_EQ(manage("unmount"), 0);
    ASSERT_EQ(manage("remount"), 0);
    EXPECT_FALSE(recordsKept()) << "a used record stays behind";

    ASSERT_EQ(manage("unmount"), 0);
    ASSERT_EQ(runProgram({"mount", "-t", "tmpfs", "other", mountPoint}).exitStatus, 0);
    EXPECT_EQ(manage("remount"), 1);
    EXPECT_EQ(mountedAt(), "");
    EXPECT_EQ(topFileSystemAt(mountPoint), "tmpfs");
    EXPECT_FALSE(recordsKept()) << "a stale record stays behind";
}

TEST_F(MountManagerOnLoopDevice, UnmountLeavesOtherFileSystemsAlone)
{
    ASSERT_EQ(runProgram({"mount", "-t", "tmpfs", "other", mountPoint}).exitStatus, 0);
    EXPECT_EQ(manage("unmount"), 1);
    EXPECT_EQ(topFileSystemAt(mountPoint), "tmpfs");
}

TEST_F(MountManagerOnLoopDevice, HungCommandFailsTheCallInsteadOfHangingIt)
{
    fakeProgram("umount", "exec sleep 600");
    EXPECT_EQ(manageWith({"env", "VIX_MOUNT_TIME_LIMIT=1"}, "unmount"), 1);
}

} // namespace
