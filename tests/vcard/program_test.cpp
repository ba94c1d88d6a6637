// The vaultsim program itself: its command line, the files it makes and its guards.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "VirtualCard.h"

namespace fs = std::filesystem;

namespace {

// A serve that wrongly starts would run for ever: the time limit ends it (status 124).
int vaultsim(const std::string& arguments)
{
    int status = std::system(
        ("timeout 20 " + vixtest::vaultsimPath() + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Program : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vix-vaultsim-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        image = folder + "/card.img";
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string folder;
    std::string image;
};

TEST_F(Program, CreateWritesSessionsAsPlanned)
{
    ASSERT_EQ(vaultsim("create " + image +
                       " --size 1M --session 2023-02-16T11:07:00/4=1K,513"
                       " --session invalid/L=10 --firmware 2.3.4 --update-version same" +
                       " --controller-id " + std::string(200, 'c')),
              0);
    EXPECT_EQ(fs::file_size(image), 1u << 20);
    const std::string state = readAll(image + ".state");
    EXPECT_NE(state.find("session = 1 2023-02-16T11:07:00 4 0 4\n"), std::string::npos) << state;
    EXPECT_NE(state.find("session = 2 0x00000000 A 1 1\n"), std::string::npos) << state;
    EXPECT_NE(state.find("firmware-version = 2.3.4\n"), std::string::npos);
    EXPECT_NE(state.find("firmware-update = same\n"), std::string::npos);
    EXPECT_NE(state.find("controller-id = " + std::string(200, 'c') + "\n"), std::string::npos);
    EXPECT_EQ(fs::file_size(image + ".sessions/1/CLIP0001.MP4"), 1024u);
    EXPECT_EQ(fs::file_size(image + ".sessions/1/DCIM/CLIP0002.MP4"), 513u);
    EXPECT_EQ(readAll(image + ".sessions/2/CLIP0001.MP4"), "session 2 ");

    EXPECT_EQ(vaultsim("create " + image), 1) << "an existing card is kept";
    EXPECT_EQ(vaultsim("create " + image + " --force --size 2M"), 0);
    EXPECT_EQ(readAll(image + ".state").find("\nsession ="), std::string::npos);
}

TEST_F(Program, BadCommandLinesAreRefused)
{
    EXPECT_EQ(vaultsim("--help"), 0);
    EXPECT_EQ(vaultsim(""), 1);
    EXPECT_EQ(vaultsim("format " + image), 1);
    EXPECT_EQ(vaultsim("create " + image + " --size 1000"), 1);
    EXPECT_EQ(vaultsim("create " + image + " --session 2023-13-01T00:00:00=1"), 1);
    EXPECT_EQ(vaultsim("create " + image + " --firmware 1.2"), 1);
    EXPECT_EQ(vaultsim("create " + image + " --locked"), 1);
    EXPECT_EQ(vaultsim("create " + image + " --controller-id 0g"), 1);
    EXPECT_FALSE(fs::exists(image));
    EXPECT_EQ(vaultsim("serve " + image), 1) << "no card to serve";
    ASSERT_EQ(vaultsim("create " + image), 0);
    EXPECT_EQ(vaultsim("serve " + image + " --fault \"verify sometimes\""), 1);
    EXPECT_EQ(vaultsim("serve " + image + " --poll-ms 0"), 1);
}

TEST_F(Program, OneServerPerCardAndCleanStopOnInterrupt)
{
    vixtest::VirtualCard card;
    EXPECT_EQ(vaultsim("serve " + card.devicePath()), 1);
    EXPECT_EQ(vaultsim("create " + card.devicePath() + " --force"), 1);
    EXPECT_TRUE(fs::exists(card.statePath()));

    const std::string pidFile = card.folder() + "/serve.pid";
    ASSERT_TRUE(fs::exists(pidFile));
    EXPECT_EQ(std::stoi(readAll(pidFile)), card.pid());
    ::kill(card.pid(), SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(card.pid(), &status, 0), card.pid());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(pidFile));
}

TEST_F(Program, CorruptStateFileIsReportedNotGuessed)
{
    ASSERT_EQ(vaultsim("create " + image), 0);
    std::ofstream(image + ".state", std::ios::app) << "state = dormant\n";
    EXPECT_EQ(vaultsim("serve " + image), 1);
}

} // namespace
