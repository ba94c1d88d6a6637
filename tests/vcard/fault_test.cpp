// Every fault of the control file, as the command layer sees it.
#include <gtest/gtest.h>

#include <filesystem>

#include "FileBasedSecurityInterface.h"
#include "SfcCardManager.h"
#include "VirtualCard.h"

namespace fs = std::filesystem;

using vixtest::Fault;
using vixtest::Repeat;

namespace {

class Faults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vixtest::VirtualCardOptions options;
        options.exampleSessions = true;
        card = std::make_unique<vixtest::VirtualCard>(options);
        ASSERT_EQ(sfc::open_raw(card->devicePath().c_str(), &channel), 0);
    }
    void TearDown() override
    {
        if (channel != nullptr) {
            sfc::close(channel);
        }
    }
    int status()
    {
        sfc::cardStatus record{};
        return sfc::getStatus(channel, &record);
    }

    std::unique_ptr<vixtest::VirtualCard> card;
    SFC_FSI* channel = nullptr;
};

TEST_F(Faults, NoAnswerTimesOutOnceThenTheCardAnswers)
{
    card->setFault("status", Fault::NoAnswer, Repeat::Once);
    sfc::cardStatus record{};
    record.state = 77;
    EXPECT_EQ(sfc::getStatus(channel, &record), FSI_RET_TIMEOUT);
    EXPECT_EQ(record.state, 77) << "nothing decoded from a missing answer";
    EXPECT_EQ(status(), 0x9000) << "the same command written again is answered";
}

TEST_F(Faults, StayBusyTimesOutAndTheCommandIsNotCarriedOut)
{
    card->setFault("set-read-only", Fault::StayBusy);
    EXPECT_EQ(sfc::setDeviceReadOnly(channel), FSI_RET_TIMEOUT);
    card->clearFaults();
    EXPECT_EQ(card->stateValue("cdrom-area"), "0x00000000");
}

TEST_F(Faults, BusyForAWhileThenAnswers)
{
    card->setFaultLine("status busy 30");
    EXPECT_EQ(status(), 0x9000);
}

TEST_F(Faults, WrongAnswerType)
{
    card->setFault("70", Fault::WrongType);
    EXPECT_EQ(status(), FSI_RET_PAYLOAD_TYPE_ERR);
}

TEST_F(Faults, ImpossibleLength)
{
    card->setFault("controller-id", Fault::ImpossibleLength);
    unsigned char id[64];
    int length = sizeof id;
    EXPECT_EQ(sfc::getControllerId(channel, id, &length), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(length, int(sizeof id));
}

TEST_F(Faults, AnswerWithoutStatusWord)
{
    card->setFault("firmware-version", Fault::TooShort);
    unsigned version = 5;
    EXPECT_EQ(sfc::getAppVersion(channel, &version), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(version, 5u);
    card->setFaultLine("status short 0");
    EXPECT_EQ(status(), SFC_ERR_MALFORMED_ANSWER);
}

TEST_F(Faults, MoreSessionsAndProfilesThanCarried)
{
    card->setFault("list-sessions", Fault::Overcount);
    tresora_ac_session page{};
    EXPECT_LT(sfc::listSessions(channel, 0, &page), 0);

    ProtectionProfile profiles[40];
    unsigned count = 0;
    ProtectionProfile one = {1, 0x10};
    ASSERT_EQ(sfc::setProtectionProfiles(channel, &one, 1), 0);
    card->setFault("profiles", Fault::Overcount);
    EXPECT_LT(sfc::getProtectionProfiles(channel, &count, profiles, 40), 0);
}

TEST_F(Faults, ChosenStatusWordLeavesTheCardUnchanged)
{
    card->setFault("activate", Fault::StatusWord, Repeat::Always, 0x6F0B);
    const unsigned char pin[] = "1234";
    const unsigned char admin[] = "12340000";
    EXPECT_EQ(sfc::activate(channel, 1, pin, 4, admin, 8, 3, nullptr), 0x6F0B);
    EXPECT_EQ(card->stateValue("state"), "transparent");
}

TEST_F(Faults, VanishRemovesTheImageMidCommand)
{
    card->setFault("status", Fault::Vanish);
    EXPECT_EQ(status(), FSI_RET_TIMEOUT);
    EXPECT_FALSE(fs::exists(card->devicePath()));
    sfc::close(channel);
    channel = nullptr;
    EXPECT_EQ(sfc::open_raw(card->devicePath().c_str(), &channel), FSI_RET_OPEN_ERR);
}

TEST_F(Faults, TerminalRequestWithoutCard)
{
    card->setFault("ct-request", Fault::StatusWord, Repeat::Once, 0x6A82);
    unsigned char answer[64];
    unsigned length = sizeof answer;
    ASSERT_EQ(fsi_request(channel, answer, &length, 1000), 0);
    EXPECT_EQ(length, 17u);
    EXPECT_EQ(channel->sePresent, 0);
    length = sizeof answer;
    ASSERT_EQ(fsi_request(channel, answer, &length, 1000), 0);
    EXPECT_EQ(length, 17u) << "the card's own answer-to-reset and 90 00";
    EXPECT_EQ(answer[3], 'T');
}

TEST_F(Faults, CommandLongerThanOneBlockIsRefusedNotHung)
{
    std::vector<unsigned char> apdu(473, 0);
    apdu[0] = 0xFF;
    apdu[1] = 0x70;
    unsigned char answer[508];
    unsigned length = sizeof answer;
    ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), unsigned(apdu.size()), answer, &length, 1000),
              0);
    ASSERT_EQ(length, 2u);
    EXPECT_EQ(getSW(answer, length), 0x6700);
}

} // namespace
