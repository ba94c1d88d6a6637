// The partition re-read helper and the mount helper as programs: their
// messages, exit statuses, and real runs on loop devices when the machine allows.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sys/stat.h>

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
        if (mounted)
            runProgram({"umount", "--all-targets", loop->path()});
        unsetenv("VIX_MOUNT_STATE_DIR");
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
