// Host follow-ups against the fake helper programs: order of the runs, result
// codes, remount retries, and that a device path never reaches a shell.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "CardManagement.h"
#include "DiskUtilities.h"
#include "fakehelpers.h"

namespace {

using Calls = std::vector<std::string>;

const char* const kDevice = "/dev/sdz1";

std::string manager(const std::string& action, const std::string& device = kDevice)
{
    return "mountpoint_manager " + action + " " + device;
}

Calls partitionChangeCalls(int remounts)
{
    Calls calls = {"udevadm settle", manager("unmount"), "udevadm settle", "partrescan /dev/sdz",
                   "udevadm settle"};
    calls.insert(calls.end(), remounts, manager("remount"));
    return calls;
}

TEST(WholeDiskPath, DropsThePartitionNumber)
{
    EXPECT_EQ(wholeDiskPath("/dev/sdb1"), "/dev/sdb");
    EXPECT_EQ(wholeDiskPath("/dev/sdc12"), "/dev/sdc");
    EXPECT_EQ(wholeDiskPath("/dev/sdp1"), "/dev/sdp");
    EXPECT_EQ(wholeDiskPath("/dev/sdb"), "/dev/sdb");
}

TEST(WholeDiskPath, DropsTheSeparatorAfterADiskNumber)
{
    EXPECT_EQ(wholeDiskPath("/dev/mmcblk0p1"), "/dev/mmcblk0");
    EXPECT_EQ(wholeDiskPath("/dev/nvme0n1p12"), "/dev/nvme0n1");
    EXPECT_EQ(wholeDiskPath("/dev/loop3p1"), "/dev/loop3");
    EXPECT_EQ(wholeDiskPath("/dev/mmcblk0p"), "/dev/mmcblk0p");
}

TEST(WholeDiskPath, FollowsLinksBeforeDroppingTheNumber)
{
    char folder[] = "/tmp/vix-disk-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string partition = std::string(folder) + "/sdz1";
    const std::string link = std::string(folder) + "/usb-Card_Reader-0:0-part1";
    std::ofstream(partition) << "partition";
    ASSERT_EQ(symlink(partition.c_str(), link.c_str()), 0);
    EXPECT_EQ(wholeDiskPath(link.c_str()), std::string(folder) + "/sdz");
    std::filesystem::remove_all(folder);
}

TEST(SystemConfiguration, CompleteHelperFolderPasses)
{
    EXPECT_EQ(checkCorrectSystemConfiguration(), 0);
    EXPECT_EQ(std::string(MOUNTPOINT_MANAGER_PATH), VIX_TEST_HELPER_DIR "/mountpoint_manager");
    EXPECT_EQ(std::string(PARTRESCAN_PATH), VIX_TEST_HELPER_DIR "/partrescan");
}

class HostFollowUp : public ::testing::Test
{
protected:
    vixtest::FakeHelpers helpers;
};

TEST_F(HostFollowUp, CacheRefreshSettlesThenRemounts)
{
    EXPECT_EQ(wipeCache(kDevice), 0);
    EXPECT_EQ(helpers.calls(), (Calls{"udevadm settle", manager("remount")}));
}

TEST_F(HostFollowUp, CacheRefreshDoesNotRetryAFailingRemount)
{
    helpers.fail("REMOUNT", "all");
    EXPECT_EQ(wipeCache(kDevice), TRESORA_AC_ERR_REFRESH);
    EXPECT_EQ(helpers.calls(), (Calls{"udevadm settle", manager("remount")}));
}

TEST_F(HostFollowUp, CacheRefreshStopsAtAFailingSettle)
{
    helpers.fail("SETTLE", "all");
    EXPECT_EQ(wipeCache(kDevice), TRESORA_AC_ERR_REFRESH);
    EXPECT_EQ(helpers.calls(), (Calls{"udevadm settle"}));
}

TEST_F(HostFollowUp, PartitionChangeRunsEveryStepInOrder)
{
    EXPECT_EQ(remountDeviceAfterPartitionsChanged(kDevice), 0);
    EXPECT_EQ(helpers.calls(), partitionChangeCalls(1));
}

TEST_F(HostFollowUp, PartitionChangeRereadsTheWholeDiskOfAnMmcPartition)
{
    EXPECT_EQ(remountDeviceAfterPartitionsChanged("/dev/mmcblk0p1"), 0);
    const Calls calls = helpers.calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[3], "partrescan /dev/mmcblk0");
    EXPECT_EQ(calls[5], manager("remount", "/dev/mmcblk0p1"));
}

TEST_F(HostFollowUp, PartitionChangeRetriesTheRemount)
{
    helpers.fail("REMOUNT", "1-3");
    EXPECT_EQ(remountDeviceAfterPartitionsChanged(kDevice), 0);
    EXPECT_EQ(helpers.calls(), partitionChangeCalls(4));
}

TEST_F(HostFollowUp, PartitionChangeGivesUpAfterTenRemounts)
{
    helpers.fail("REMOUNT", "all");
    EXPECT_EQ(remountDeviceAfterPartitionsChanged(kDevice), TRESORA_AC_REMOUNT_INCOMPLETE);
    EXPECT_EQ(helpers.calls(), partitionChangeCalls(10));
}

TEST_F(HostFollowUp, HelperKilledBySignalCountsAsFailure)
{
    helpers.fail("REMOUNT", "all");
    helpers.failBySignal();
    EXPECT_EQ(wipeCache(kDevice), TRESORA_AC_ERR_REFRESH);
    EXPECT_NE(mountPointManager(kDevice, "remount"), 0);
}

struct FailingStep
{
    const char* name;
    const char* kind;
    const char* calls;
    size_t runsBeforeStop; // runs made, the failing one included
};

class PartitionChangeFailure : public HostFollowUp,
                               public ::testing::WithParamInterface<FailingStep>
{
};

TEST_P(PartitionChangeFailure, StopsAtTheFailingStep)
{
    helpers.fail(GetParam().kind, GetParam().calls);
    EXPECT_EQ(remountDeviceAfterPartitionsChanged(kDevice), TRESORA_AC_ERR_REFRESH);
    Calls expected = partitionChangeCalls(0);
    expected.resize(GetParam().runsBeforeStop);
    EXPECT_EQ(helpers.calls(), expected);
}

INSTANTIATE_TEST_SUITE_P(EachStep, PartitionChangeFailure,
                         ::testing::Values(FailingStep{"FirstSettle", "SETTLE", "1", 1},
                                           FailingStep{"Unmount", "UNMOUNT", "all", 2},
                                           FailingStep{"SecondSettle", "SETTLE", "2", 3},
                                           FailingStep{"Reread", "PARTRESCAN", "all", 4},
                                           FailingStep{"ThirdSettle", "SETTLE", "3", 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostFollowUp, DevicePathReachesTheHelpersAsOneArgument)
{
    const std::string marker = helpers.folder() + "/shell-ran";
    const std::string device = "/dev/card 'x\";touch " + marker + ";'1";
    EXPECT_EQ(remountDeviceAfterPartitionsChanged(device.c_str()), 0);

    const std::string disk = device.substr(0, device.size() - 1);
    EXPECT_EQ(helpers.argvCalls(),
              (Calls{"udevadm [settle]", "mountpoint_manager [unmount] [" + device + "]",
                     "udevadm [settle]", "partrescan [" + disk + "]", "udevadm [settle]",
                     "mountpoint_manager [remount] [" + device + "]"}));
    struct stat info;
    EXPECT_NE(stat(marker.c_str(), &info), 0) << "a shell interpreted the device path";
}

TEST_F(HostFollowUp, MissingUdevadmFailsTheRefresh)
{
    setenv("PATH", helpers.folder().c_str(), 1); // a folder without any program
    EXPECT_EQ(wipeCache(kDevice), TRESORA_AC_ERR_REFRESH);
    EXPECT_TRUE(helpers.calls().empty());
}

} // namespace
