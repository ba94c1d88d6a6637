// vaultsim driven through the card management API: the whole life of a card.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "CardManagement.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

namespace fs = std::filesystem;

namespace {

const unsigned char kPin[] = "1234";
const unsigned char kNewPin[] = "5678";
const unsigned char kWrongPin[] = "0000";
const unsigned char kAdminPin[] = "admin-pin-1";
const unsigned char kDerivedAdminPin[] = "12340000";

struct Status
{
    uint32_t state = 99;
    uint32_t readOnly = 99;
    uint32_t pinTries = 99;
    uint32_t adminTries = 99;
    uint32_t flags = 99;
};

Status status(const char* device)
{
    Status s;
    EXPECT_EQ(
        tresora_ac_getStatus(device, &s.state, &s.readOnly, &s.pinTries, &s.adminTries, &s.flags),
        0);
    return s;
}

std::vector<tresora_ac_session_entry> allSessions(const char* device)
{
    std::vector<tresora_ac_session_entry> all;
    tresora_ac_session page{};
    do {
        page.count = 0;
        int result = tresora_ac_listSessions(device, uint32_t(all.size()), &page);
        EXPECT_EQ(result, 0);
        if (result != 0) {
            break;
        }
        all.insert(all.end(), page.entries, page.entries + page.count);
    } while (page.count != 0);
    return all;
}

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<unsigned char> identificationSector(const std::string& image)
{
    std::vector<unsigned char> sector(512);
    int fd = ::open(image.c_str(), O_RDONLY);
    EXPECT_EQ(::pread(fd, sector.data(), sector.size(), 26 * 512), 512);
    ::close(fd);
    return sector;
}

// Offset of the first non-zero byte of the first 64 KiB, leaving out the
// command block and the identification sector; -1 when there is none.
long firstChangedByteOutsideCardBlocks(const std::string& image)
{
    std::vector<unsigned char> head(65536);
    int fd = ::open(image.c_str(), O_RDONLY);
    EXPECT_EQ(::pread(fd, head.data(), head.size(), 0), long(head.size()));
    ::close(fd);
    for (std::size_t i = 0; i < head.size(); ++i) {
        const bool cardBlock = (i >= 2048 && i < 2560) || (i >= 26 * 512 && i < 27 * 512);
        if (!cardBlock && head[i] != 0) {
            return long(i);
        }
    }
    return -1;
}

// What a recording device does: write a file into the session being recorded.
fs::path record(const vixtest::VirtualCard& card, const std::string& name, const std::string& text)
{
    std::istringstream current(card.stateValue("current-session"));
    std::string id;
    current >> id;
    fs::path file = fs::path(card.sessionsDir()) / id / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

int32_t firmwareVersion(const char* device)
{
    uint32_t version = 0;
    EXPECT_EQ(tresora_ac_getFirmwareVersion(device, &version), 0);
    return int32_t(version);
}

int updateFirmware(const char* device, const unsigned char* pin, uint32_t pinLength)
{
    unsigned char chunk[128];
    std::memset(chunk, 0x5A, sizeof chunk);
    for (uint32_t offset = 0; offset < 384; offset += 128) {
        int result = tresora_ac_firmwareUpdateTransfer(device, offset, chunk, 128);
        if (result != 0) {
            return result;
        }
    }
    return tresora_ac_firmwareUpdateApply(device, pin, pinLength, 384);
}

class LifeCycle : public ::testing::Test
{
protected:
    vixtest::FakeHelpers helpers;
};

TEST_F(LifeCycle, FullLifeCycleWithSeparateAdminUser)
{
    vixtest::VirtualCardOptions options;
    options.exampleSessions = true;
    vixtest::VirtualCard card(options);
    const char* device = card.devicePath().c_str();

    Status fresh = status(device);
    EXPECT_EQ(fresh.state, uint32_t(TRESORA_AC_STATE_TRANSPARENT));
    EXPECT_EQ(fresh.readOnly, 0u);
    std::vector<tresora_ac_session_entry> examples = allSessions(device);
    ASSERT_EQ(examples.size(), 4u);
    EXPECT_STREQ(examples[0].date[0] ? "dated" : "", "dated");
    EXPECT_EQ(examples[3].date[0], '\0') << "the example without a valid date";

    const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    ASSERT_EQ(tresora_ac_activate(device, kPin, 4, kAdminPin, 11, 3, &flags), 0);
    Status active = status(device);
    EXPECT_EQ(active.state, uint32_t(TRESORA_AC_STATE_UNLOCKED));
    EXPECT_EQ(active.readOnly, 1u) << "activation leaves the card read-only";
    EXPECT_EQ(active.pinTries, 3u);
    EXPECT_EQ(active.adminTries, 3u);
    EXPECT_EQ(active.flags, uint32_t(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION));
    EXPECT_TRUE(allSessions(device).empty()) << "activation discards the content";
    std::vector<unsigned char> sector = identificationSector(card.devicePath());
    EXPECT_EQ(sector[48], 1);
    EXPECT_EQ(sector[52], TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);

    ASSERT_EQ(tresora_ac_setDeviceReadWrite(device), 0);
    EXPECT_EQ(status(device).readOnly, 0u);
    EXPECT_EQ(identificationSector(card.devicePath())[50], 0);
    ASSERT_EQ(tresora_ac_setDeviceReadOnly(device), 0);
    EXPECT_EQ(status(device).readOnly, 1u);
    EXPECT_EQ(identificationSector(card.devicePath())[50], 1);
    ASSERT_EQ(tresora_ac_setDeviceReadWrite(device), 0);

    record(card, "first.txt", "recorded in the first session");
    status(device);
    EXPECT_EQ(fileText(fs::path(card.contentDir()) / "first.txt"), "recorded in the first session")
        << "the presented content follows the recording at the next command";
    ASSERT_EQ(tresora_ac_startNewSession(device), 0);
    record(card, "live.txt", "recorded in the live session");

    ASSERT_EQ(tresora_ac_logout(device), 0);
    EXPECT_EQ(status(device).state, uint32_t(TRESORA_AC_STATE_LOCKED));
    EXPECT_EQ(fileText(fs::path(card.contentDir()) / "live.txt").rfind("*PROTECTED DATA*", 0), 0u);
    tresora_ac_session page{};
    EXPECT_EQ(tresora_ac_listSessions(device, 0, &page), 0x6982) << "no list while locked";

    EXPECT_EQ(tresora_ac_login(device, kWrongPin, 4), TRESORA_AC_SW_WRONG_PIN);
    EXPECT_EQ(tresora_ac_login(device, kWrongPin, 4), TRESORA_AC_SW_WRONG_PIN);
    EXPECT_EQ(tresora_ac_login(device, kWrongPin, 4), TRESORA_AC_SW_BLOCKED);
    EXPECT_EQ(status(device).pinTries, 0u);
    EXPECT_EQ(tresora_ac_login(device, kPin, 4), TRESORA_AC_SW_RETRIES_EXCEEDED);

    ASSERT_EQ(tresora_ac_unblockPin(device, kAdminPin, 11, kNewPin, 4), 0);
    EXPECT_EQ(status(device).pinTries, 3u);
    EXPECT_EQ(tresora_ac_login(device, kPin, 4), TRESORA_AC_SW_WRONG_PIN);
    ASSERT_EQ(tresora_ac_login(device, kNewPin, 4), 0);
    EXPECT_EQ(fileText(fs::path(card.contentDir()) / "live.txt"), "recorded in the live session");
    ASSERT_EQ(tresora_ac_discardCurrentSession(device), 0);
    EXPECT_FALSE(fs::exists(fs::path(card.contentDir()) / "live.txt"));

    std::vector<tresora_ac_session_entry> sessions = allSessions(device);
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].sectorCount, 1u);
    EXPECT_EQ(std::strlen(sessions[0].date), 19u);
    ASSERT_EQ(tresora_ac_switchToSession(device, sessions[0].id), 0);
    EXPECT_EQ(fileText(fs::path(card.contentDir()) / "first.txt"), "recorded in the first session");
    EXPECT_FALSE(fs::exists(fs::path(card.contentDir()) / "live.txt"));

    EXPECT_EQ(firmwareVersion(device), 0x010203);
    ASSERT_EQ(updateFirmware(device, kAdminPin, 11), 0);
    EXPECT_EQ(firmwareVersion(device), 0x010204);

    EXPECT_EQ(tresora_ac_wipeContent(device, kNewPin, 4), TRESORA_AC_SW_PIN_LENGTH)
        << "with an Admin user only the Admin PIN deletes";
    ASSERT_EQ(tresora_ac_wipeContent(device, kAdminPin, 11), 0);
    EXPECT_TRUE(allSessions(device).empty());
    EXPECT_TRUE(fs::is_empty(card.contentDir()));
    EXPECT_EQ(status(device).state, uint32_t(TRESORA_AC_STATE_UNLOCKED));

    ASSERT_EQ(tresora_ac_factoryReset(device, kAdminPin, 11), 0);
    Status reset = status(device);
    EXPECT_EQ(reset.state, uint32_t(TRESORA_AC_STATE_TRANSPARENT));
    EXPECT_EQ(reset.flags, 0u);
    EXPECT_EQ(identificationSector(card.devicePath())[48], 0);
    EXPECT_EQ(firstChangedByteOutsideCardBlocks(card.devicePath()), -1)
        << "nothing but the command block and the identification sector is ever written";
}

TEST_F(LifeCycle, DerivedAdminPinWithoutAdminUser)
{
    vixtest::VirtualCard card;
    const char* device = card.devicePath().c_str();
    ASSERT_EQ(tresora_ac_activate(device, kPin, 4, kDerivedAdminPin, 8, 5, nullptr), 0);
    Status active = status(device);
    EXPECT_EQ(active.flags, 0u);
    EXPECT_EQ(active.adminTries, 5u);
    EXPECT_EQ(tresora_ac_unblockPin(device, kDerivedAdminPin, 8, kNewPin, 4), 0x6985)
        << "unblocking is the Admin user's";
    ASSERT_EQ(tresora_ac_changePin(device, kPin, 4, kNewPin, 4), 0);
    ASSERT_EQ(tresora_ac_changeAdminPin(device, kDerivedAdminPin, 8,
                                        reinterpret_cast<const unsigned char*>("56780000"), 8),
              0);
    ASSERT_EQ(tresora_ac_wipeContent(device, kNewPin, 4), 0);
    EXPECT_EQ(tresora_ac_factoryReset(device, kDerivedAdminPin, 8), TRESORA_AC_SW_WRONG_PIN);
    EXPECT_EQ(status(device).adminTries, 4u);
    ASSERT_EQ(
        tresora_ac_factoryReset(device, reinterpret_cast<const unsigned char*>("56780000"), 8), 0);
    EXPECT_EQ(status(device).state, uint32_t(TRESORA_AC_STATE_TRANSPARENT));
}

TEST_F(LifeCycle, FirmwareUpdateThatKeepsTheVersion)
{
    vixtest::VirtualCardOptions options;
    options.updateVersion = "same";
    vixtest::VirtualCard card(options);
    EXPECT_EQ(updateFirmware(card.devicePath().c_str(), kDerivedAdminPin, 8),
              TRESORA_AC_ERR_FIRMWARE_UNCHANGED);

    vixtest::VirtualCardOptions chosen;
    chosen.updateVersion = "2.0.0";
    vixtest::VirtualCard other(chosen);
    ASSERT_EQ(updateFirmware(other.devicePath().c_str(), kDerivedAdminPin, 8), 0);
    EXPECT_EQ(firmwareVersion(other.devicePath().c_str()), 0x020000);
}

TEST_F(LifeCycle, ActivationRefusedOnAnInvalidFileSystem)
{
    vixtest::VirtualCardOptions options;
    options.extraArgs = {"--invalid-filesystem"};
    vixtest::VirtualCard card(options);
    const char* device = card.devicePath().c_str();
    EXPECT_EQ(tresora_ac_activate(device, kPin, 4, kDerivedAdminPin, 8, 3, nullptr),
              TRESORA_AC_SW_INVALID_FILE_SYSTEM);
    EXPECT_EQ(status(device).state, uint32_t(TRESORA_AC_STATE_TRANSPARENT));
}

TEST_F(LifeCycle, RestartContinuesWhereTheCardStopped)
{
    vixtest::VirtualCard card;
    const char* device = card.devicePath().c_str();
    ASSERT_EQ(tresora_ac_activate(device, kPin, 4, kDerivedAdminPin, 8, 3, nullptr), 0);
    ASSERT_EQ(tresora_ac_logout(device), 0);
    ASSERT_EQ(tresora_ac_login(device, kWrongPin, 4), TRESORA_AC_SW_WRONG_PIN);
    card.stop();
    EXPECT_EQ(card.stateValue("state"), "locked");
    card.start();
    Status after = status(device);
    EXPECT_EQ(after.state, uint32_t(TRESORA_AC_STATE_LOCKED));
    EXPECT_EQ(after.pinTries, 2u);
    EXPECT_EQ(tresora_ac_login(device, kPin, 4), 0);
}

TEST_F(LifeCycle, IdentificationOfFormFactorAndGeneration)
{
    vixtest::VirtualCardOptions options;
    options.formFactor = vixtest::FormFactor::FullSize;
    options.generation = vixtest::Generation::Ccv1;
    options.controllerId = "00112233445566778899";
    vixtest::VirtualCard card(options);
    std::vector<unsigned char> sector = identificationSector(card.devicePath());
    EXPECT_STREQ(reinterpret_cast<const char*>(sector.data()), "Kendrova-SFC-SD-ccv1");
    EXPECT_EQ(sector[35], 'L');

    unsigned char id[64];
    int32_t length = sizeof id;
    ASSERT_EQ(tresora_ac_getControllerId(card.devicePath().c_str(), id, &length), 0);
    ASSERT_EQ(length, 10);
    EXPECT_EQ(id[9], 0x99);
}

} // namespace
