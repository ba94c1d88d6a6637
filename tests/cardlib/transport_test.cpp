// Platform layer and block transport, against a device file and the in-process fake card.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "FileBasedSecurityInterface.h"
#include "os-abstraction.h"
#include "transport_fake_card.h"

using cardtest::answerBlock;
using cardtest::answerBlockAnnouncing;
using cardtest::Bytes;
using cardtest::DeviceFile;
using cardtest::FakeCard;
using cardtest::Reply;
using cardtest::seAnswer;

namespace {

const Bytes OK = {0x90, 0x00};

Bytes sequence(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i * 13 + 1);
    return bytes;
}

Bytes slice(const Bytes& bytes, size_t from, size_t count)
{
    return Bytes(bytes.begin() + static_cast<long>(from),
                 bytes.begin() + static_cast<long>(from + count));
}

bool exists(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0;
}

// ---- platform layer -------------------------------------------------------------------

TEST(PlatformLayer, AlignedBuffersAreAlignedAndNullIsRefused)
{
    void* buffer = allocAlignedBuffer(1024);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 512, 0u);
    EXPECT_EQ(freeAlignedBuffer(buffer), 0);
    EXPECT_EQ(freeAlignedBuffer(nullptr), -1);
}

TEST(PlatformLayer, OpenFileRemovesTheNameButKeepsTheDataReachable)
{
    DeviceFile device(4096);
    const std::string fresh = device.folder() + "/comm";
    for (const std::string& path : {device.path(), fresh}) {
        int fd = -1;
        ASSERT_EQ(openFile(path.c_str(), &fd, 1), 0) << path;
        EXPECT_FALSE(exists(path));
        auto* block = static_cast<unsigned char*>(allocAlignedBuffer(512));
        memset(block, 0x5A, 512);
        size_t count = 0;
        ASSERT_EQ(seekFile(fd, 512), 0);
        ASSERT_EQ(writeFile(fd, block, 512, &count), 0);
        EXPECT_EQ(count, 512u);
        memset(block, 0, 512);
        ASSERT_EQ(seekFile(fd, 512), 0);
        ASSERT_EQ(readFile(fd, block, 512, &count), 0);
        EXPECT_EQ(count, 512u);
        EXPECT_EQ(block[0], 0x5A);
        EXPECT_EQ(block[511], 0x5A);
        freeAlignedBuffer(block);
        EXPECT_EQ(closeFile(fd), 0);
    }
}

TEST(PlatformLayer, FailuresAreReported)
{
    int fd = 7;
    EXPECT_EQ(openFile("/nonexistent-folder/comm", &fd, 1), -1);
    EXPECT_EQ(fd, -1);
    fd = 7;
    EXPECT_EQ(openVolume("/nonexistent-folder/device", &fd, nullptr, 0), -1);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(closeFile(-1), 1);
    EXPECT_EQ(seekFile(-1, 0), 1);
    unsigned char byte = 0;
    EXPECT_EQ(readFile(-1, &byte, 1, nullptr), 1);
    EXPECT_EQ(writeFile(-1, &byte, 1, nullptr), 1);
}

TEST(PlatformLayer, ShortReadIsCountedNotFailed)
{
    DeviceFile device(1024);
    const int fd = open(device.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    Bytes buffer(4096);
    size_t count = 0;
    EXPECT_EQ(readFile(fd, buffer.data(), buffer.size(), &count), 0);
    EXPECT_EQ(count, 1024u);
    close(fd);
}

TEST(PlatformLayer, OpenVolumeReadsTheFirstBytes)
{
    DeviceFile device(8192);
    auto* buffer = static_cast<unsigned char*>(allocAlignedBuffer(512));
    int fd = -1;
    ASSERT_EQ(openVolume(device.path().c_str(), &fd, buffer, 512), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 512), slice(device.contents(), 0, 512));
    EXPECT_EQ(closeVolume(fd, nullptr, 0), 0);
    freeAlignedBuffer(buffer);
}

TEST(PlatformLayer, OpenVolumeOnADeviceThatEndsEarlyFailsInsteadOfLooping)
{
    DeviceFile device(0);
    auto* buffer = static_cast<unsigned char*>(allocAlignedBuffer(512));
    int fd = -1;
    EXPECT_EQ(openVolume(device.path().c_str(), &fd, buffer, 512), -2);
    EXPECT_EQ(fd, -1);
    freeAlignedBuffer(buffer);
}

TEST(PlatformLayer, CloseVolumeWritesBackAtTheStartOnly)
{
    DeviceFile device(8192);
    const Bytes before = device.contents();
    auto* buffer = static_cast<unsigned char*>(allocAlignedBuffer(512));
    int fd = -1;
    ASSERT_EQ(openVolume(device.path().c_str(), &fd, buffer, 512), 0);
    memset(buffer, 0xEE, 512);
    ASSERT_EQ(seekFile(fd, 4096), 0); // wherever the descriptor stands
    EXPECT_EQ(closeVolume(fd, buffer, 512), 0);
    Bytes expected = before;
    std::fill(expected.begin(), expected.begin() + 512, 0xEE);
    EXPECT_EQ(device.contents(), expected);
    freeAlignedBuffer(buffer);
}

TEST(PlatformLayer, ClockAndDifference)
{
    const uint64_t first = getWallTime();
    msleep(0);
    EXPECT_GE(getWallTime(), first);
    EXPECT_EQ(getTimeDifference(1000, 1250), 250u);
}

// ---- sending ---------------------------------------------------------------------------

class RawChannel : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(fsi_open_raw(device.path().c_str(), &channel), 0); }
    void TearDown() override
    {
        if (channel != nullptr) {
            EXPECT_EQ(fsi_close(channel), 0);
        }
    }

    DeviceFile device;
    FakeCard card;
    SFC_FSI* channel = nullptr;
};

Bytes header(unsigned char type, bool more, unsigned length)
{
    Bytes bytes(FSI_COMMAND_IDENTIFIER, FSI_COMMAND_IDENTIFIER + FSI_IDENTIFIER_SIZE);
    bytes.push_back(type);
    bytes.push_back(more ? 1 : 0);
    bytes.push_back(static_cast<unsigned char>(length >> 8));
    bytes.push_back(static_cast<unsigned char>(length));
    return bytes;
}

TEST_F(RawChannel, OpenKeepsTheFirstBlockAndUsesOffset2048)
{
    EXPECT_EQ(channel->rawMode, 1);
    EXPECT_EQ(channel->blockOffset, 2048u);
    EXPECT_EQ(channel->sePresent, 1);
    ASSERT_EQ(channel->savedBlockSize, 512u);
    EXPECT_EQ(Bytes(channel->savedBlock, channel->savedBlock + 512),
              slice(device.contents(), 0, 512));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(channel->ioBlock) % 512, 0u);
}

TEST_F(RawChannel, CommandOf472BytesIsOneBlock)
{
    const Bytes command = sequence(472);
    ASSERT_EQ(fsi_send(channel, FSI_PAYLOAD_SE, command.data(), 472), 0);
    ASSERT_EQ(card.blocksWritten().size(), 1u);
    const Bytes& block = card.blocksWritten()[0].bytes;
    ASSERT_EQ(block.size(), 512u);
    EXPECT_EQ(slice(block, 0, 36), header(FSI_PAYLOAD_SE, false, 472));
    EXPECT_EQ(block[34], 0x01);
    EXPECT_EQ(block[35], 0xD8);
    EXPECT_EQ(slice(block, 36, 472), command);
    EXPECT_EQ(card.blocksWritten()[0].offset, 2048u);
}

TEST_F(RawChannel, CommandOf473BytesIsSplitAt472)
{
    const Bytes command = sequence(473);
    ASSERT_EQ(fsi_send(channel, FSI_PAYLOAD_FC, command.data(), 473), 0);
    const auto& blocks = card.blocksWritten();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(slice(blocks[0].bytes, 0, 36), header(FSI_PAYLOAD_FC, true, 472));
    EXPECT_EQ(slice(blocks[0].bytes, 36, 472), slice(command, 0, 472));
    EXPECT_EQ(slice(blocks[1].bytes, 0, 36), header(FSI_PAYLOAD_FC, false, 1));
    EXPECT_EQ(blocks[1].bytes[36], command[472]);
    EXPECT_EQ(blocks[0].offset, 2048u);
    EXPECT_EQ(blocks[1].offset, 2048u);
}

TEST_F(RawChannel, LargestCommandArrivesWholeAndOneMoreByteIsRefused)
{
    const Bytes command = sequence(32767);
    ASSERT_EQ(fsi_send(channel, FSI_PAYLOAD_SE, command.data(), 32767), 0);
    EXPECT_EQ(card.blocksWritten().size(), 70u); // 69 full blocks and 199 bytes
    EXPECT_EQ(card.lastCommand().bytes, command);

    const Bytes tooLong(32768);
    EXPECT_EQ(fsi_send(channel, FSI_PAYLOAD_SE, tooLong.data(), 32768),
              FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(card.blocksWritten().size(), 70u);
}

TEST_F(RawChannel, EmptyCommandIsOneBlockWithLengthZero)
{
    ASSERT_EQ(fsi_send(channel, FSI_PAYLOAD_SE, nullptr, 0), 0);
    ASSERT_EQ(card.blocksWritten().size(), 1u);
    EXPECT_EQ(slice(card.blocksWritten()[0].bytes, 0, 36), header(FSI_PAYLOAD_SE, false, 0));
}

TEST_F(RawChannel, TransmitSeSendsOneBlockAndReturnsTheAnswer)
{
    card.answerAlways(seAnswer({0x01, 0x02}));
    const Bytes apdu = {0xFF, 0x70, 0x00, 0x00, 0x05, 1, 2, 3, 4, 5};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), 10, answer, &length, 1000), 0);
    ASSERT_EQ(card.blocksWritten().size(), 1u);
    const Bytes& block = card.blocksWritten()[0].bytes;
    EXPECT_EQ(slice(block, 0, 36), header(FSI_PAYLOAD_SE, false, 10));
    EXPECT_EQ(slice(block, 36, 10), apdu);
    EXPECT_EQ(Bytes(answer, answer + length), (Bytes{0x01, 0x02, 0x90, 0x00}));
}

TEST_F(RawChannel, AnswerCanBeReceivedIntoTheCommandBuffer)
{
    card.answerAlways(seAnswer({0xAB}));
    unsigned char buffer[508] = {0xFF, 0x31, 0x00, 0x00, 0x00};
    unsigned length = sizeof(buffer);
    ASSERT_EQ(fsi_transmit_se(channel, buffer, 5, buffer, &length, 1000), 0);
    EXPECT_EQ(Bytes(buffer, buffer + length), (Bytes{0xAB, 0x90, 0x00}));
    EXPECT_EQ(card.lastCommand().bytes, (Bytes{0xFF, 0x31, 0x00, 0x00, 0x00}));
}

// ---- receiving -------------------------------------------------------------------------

TEST_F(RawChannel, AnswerOfAnotherTypeIsRefused)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, OK));
    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, 1000),
              FSI_RET_PAYLOAD_TYPE_ERR);
}

TEST_F(RawChannel, AnswerLengthsAreCheckedAgainstCapacityAndBlock)
{
    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    const size_t big = 70000;
    Bytes answer(big, 0x11);

    card.answerAlways(answerBlockAnnouncing(FSI_PAYLOAD_SE_RESPONSE, 600, sequence(508)));
    unsigned length = 508;
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer.data(), &length, 1000),
              FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(length, 508u);

    // The capacity would allow it, but one block cannot carry it: nothing is copied.
    for (unsigned announced : {509u, 600u, 32767u, 40000u}) {
        card.answerAlways(answerBlockAnnouncing(FSI_PAYLOAD_SE_RESPONSE, announced, sequence(508)));
        length = big;
        EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer.data(), &length, 1000),
                  FSI_RET_APDU_SIZE_ERR)
            << announced;
        EXPECT_EQ(length, big);
        EXPECT_EQ(answer, Bytes(big, 0x11));
    }

    card.answerAlways(answerBlock(FSI_PAYLOAD_SE_RESPONSE, sequence(508)));
    length = 508;
    ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer.data(), &length, 1000), 0);
    EXPECT_EQ(length, 508u);
    EXPECT_EQ(slice(answer, 0, 508), sequence(508));
    EXPECT_EQ(answer[508], 0x11);

    card.answerAlways(answerBlock(FSI_PAYLOAD_SE_RESPONSE, {}));
    length = 508;
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer.data(), &length, 1000), 0);
    EXPECT_EQ(length, 0u);
}

TEST_F(RawChannel, CapacityBelowTwoIsRefusedWithoutIo)
{
    unsigned char answer[1];
    unsigned length = 1;
    EXPECT_EQ(fsi_receive(channel, FSI_PAYLOAD_SE_RESPONSE, answer, &length, 1000),
              FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(card.polls(), 0);
}

TEST_F(RawChannel, TimeoutZeroPollsOnceAndLeaves6200)
{
    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, 0), FSI_RET_TIMEOUT);
    EXPECT_EQ(card.polls(), 1);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(answer[0], 0x62);
    EXPECT_EQ(answer[1], 0x00);
    EXPECT_TRUE(card.sleeps().empty());
}

TEST_F(RawChannel, NegativeTimeoutWaits120Seconds)
{
    card.setClockStep(1000);
    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, -1), FSI_RET_TIMEOUT);
    EXPECT_EQ(card.polls(), 120);
}

TEST_F(RawChannel, PollsUntilTheCardAnswersAndSleepsOnlyWhileBusy)
{
    card.respond([](const cardtest::Command&) {
        Reply reply = cardtest::reply(seAnswer({}, 0x9000));
        reply.unansweredPolls = 4;
        reply.busyPolls = 3;
        return reply;
    });
    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    card.setClockStep(1);
    ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, 1000), 0);
    EXPECT_EQ(card.polls(), 8);
    EXPECT_EQ(card.sleeps(), (std::vector<int64_t>{10, 10, 10}));
    EXPECT_EQ(Bytes(answer, answer + length), OK);
}

TEST_F(RawChannel, TransferBlockIsClearedAfterAnExchangeThatCarriedAPin)
{
    const Bytes verify = {0xFF, 0x30, 0x00, 0x00, 0x05, 0x04, '1', '2', '3', '4'};
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_transmit_se(channel, verify.data(), 10, answer, &length, 0), FSI_RET_TIMEOUT);
    EXPECT_EQ(Bytes(channel->ioBlock, channel->ioBlock + 512), Bytes(512, 0));
}

// ---- a device that does not answer ----------------------------------------------------

struct UnansweredCase
{
    const char* name;
    size_t commandSize;
    Reply reply;
    bool restored; // the device ends byte-identical
};

class UnansweredCommand : public ::testing::TestWithParam<UnansweredCase>
{
};

Reply busyUntilTheEnd()
{
    Reply reply = cardtest::reply(seAnswer({}, 0x9000));
    reply.busyPolls = 1000000;
    return reply;
}

TEST_P(UnansweredCommand, IsUndoneOnlyWhenTheBlockStillHoldsIt)
{
    DeviceFile device;
    const Bytes before = device.contents();
    FakeCard card;
    const Reply reply = GetParam().reply;
    card.respond([reply](const cardtest::Command&) { return reply; });
    SFC_FSI* channel = nullptr;
    ASSERT_EQ(fsi_open_raw(device.path().c_str(), &channel), 0);
    Bytes apdu = sequence(GetParam().commandSize);
    apdu[0] = 0xFF;
    unsigned char answer[508];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_transmit_se(channel, apdu.data(), static_cast<unsigned>(apdu.size()), answer,
                              &length, 200),
              FSI_RET_TIMEOUT);
    EXPECT_EQ(fsi_close(channel), 0);
    EXPECT_EQ(device.contents() == before, GetParam().restored);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UnansweredCommand,
    testing::Values(UnansweredCase{"NotACard", 10, cardtest::noAnswer(), true},
                    UnansweredCase{"NotACardTwoBlocks", 473, cardtest::noAnswer(), true},
                    UnansweredCase{"BusyCard", 10, busyUntilTheEnd(), false}),
    [](const testing::TestParamInfo<UnansweredCase>& info) { return info.param.name; });

TEST_F(RawChannel, CommandBlockTailIsZeroedNotLeftOverBytes)
{
    const Bytes command(473, 0xAA);
    ASSERT_EQ(fsi_send(channel, FSI_PAYLOAD_SE, command.data(), 473), 0);
    ASSERT_EQ(card.blocksWritten().size(), 2u);
    EXPECT_EQ(slice(card.blocksWritten()[1].bytes, 37, 512 - 37), Bytes(512 - 37, 0));
}

TEST(Descriptors, ChannelsAreNotInheritedByPrograms)
{
    DeviceFile device;
    SFC_FSI* raw = nullptr;
    SFC_FSI* file = nullptr;
    ASSERT_EQ(fsi_open_raw(device.path().c_str(), &raw), 0);
    ASSERT_EQ(fsi_open((device.folder() + "/communication").c_str(), &file), 0);
    for (const SFC_FSI* channel : {raw, file})
        EXPECT_TRUE(fcntl(channel->fd, F_GETFD) & FD_CLOEXEC) << int{channel->rawMode};
    EXPECT_EQ(fsi_close(raw), 0);
    EXPECT_EQ(fsi_close(file), 0);
}

// ---- closing ---------------------------------------------------------------------------

TEST(RawClose, LeavesEveryByteOfTheDeviceUntouched)
{
    DeviceFile device;
    const Bytes before = device.contents();
    SFC_FSI* channel = nullptr;
    ASSERT_EQ(fsi_open_raw(device.path().c_str(), &channel), 0);
    EXPECT_EQ(fsi_close(channel), 0);
    EXPECT_EQ(device.contents(), before);
}

TEST(RawClose, AfterAnExchangeOnlyTheTransferBlockDiffers)
{
    DeviceFile device;
    const Bytes before = device.contents();
    {
        FakeCard card;
        card.answerAlways(seAnswer({}, 0x9000));
        SFC_FSI* channel = nullptr;
        ASSERT_EQ(fsi_open_raw(device.path().c_str(), &channel), 0);
        const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
        unsigned char answer[508];
        unsigned length = sizeof(answer);
        ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, 1000), 0);
        EXPECT_EQ(fsi_close(channel), 0);
    }
    const Bytes after = device.contents();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(slice(after, 0, 2048), slice(before, 0, 2048));
    EXPECT_EQ(slice(after, 2560, after.size() - 2560), slice(before, 2560, before.size() - 2560));
}

TEST(RawOpen, RefusesNullAndMissingDevices)
{
    SFC_FSI* channel = nullptr;
    EXPECT_EQ(fsi_open_raw(nullptr, &channel), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_open_raw("/nonexistent-folder/device", &channel), FSI_RET_OPEN_ERR);
    EXPECT_EQ(fsi_open(nullptr, &channel), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_open("/nonexistent-folder/comm", &channel), FSI_RET_OPEN_ERR);
    EXPECT_EQ(channel, nullptr);
}

TEST(NullChannel, EveryFunctionRefusesIt)
{
    unsigned char answer[32];
    unsigned length = sizeof(answer);
    EXPECT_EQ(fsi_close(nullptr), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_suspend_file(nullptr), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_send(nullptr, 1, answer, 1), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_receive(nullptr, 3, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_transmit_se(nullptr, answer, 1, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_transmit_fc(nullptr, answer, 1, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_request(nullptr, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_reset(nullptr, 0, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_eject(nullptr, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(fsi_status(nullptr, 0, answer, &length, 0), FSI_RET_INVALID_PARAMETER);
}

// ---- file mode -------------------------------------------------------------------------

TEST(FileChannel, WorksAtOffsetZeroOnAnUnlinkedFileAndSurvivesSuspension)
{
    DeviceFile folder(0);
    const std::string path = folder.folder() + "/communication";
    FakeCard card;
    card.answerAlways(seAnswer({0x42}));
    SFC_FSI* channel = nullptr;
    ASSERT_EQ(fsi_open(path.c_str(), &channel), 0);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(channel->rawMode, 0);
    EXPECT_EQ(channel->blockOffset, 0u);
    ASSERT_EQ(card.blocksWritten().size(), 1u);
    Bytes defaultContent(512, 0);
    const char text[] = "PLEASE DO NOT DELETE THIS FILE!";
    std::copy(text, text + sizeof(text), defaultContent.begin());
    EXPECT_EQ(card.blocksWritten()[0].bytes, defaultContent);

    const Bytes apdu = {0xFF, 0x31, 0, 0, 0};
    unsigned char answer[508];
    for (int round = 0; round < 2; ++round) {
        unsigned length = sizeof(answer);
        ASSERT_EQ(fsi_transmit_se(channel, apdu.data(), 5, answer, &length, 1000), 0);
        EXPECT_EQ(Bytes(answer, answer + length), (Bytes{0x42, 0x90, 0x00}));
        EXPECT_EQ(card.blocksWritten().back().offset, 0u);
        EXPECT_EQ(fsi_suspend_file(channel), 0);
        EXPECT_EQ(channel->fd, 0);
    }
    EXPECT_EQ(fsi_close(channel), 0);
    EXPECT_FALSE(exists(path));
}

TEST(FileChannel, SuspendInRawModeDoesNothing)
{
    DeviceFile device;
    SFC_FSI* channel = nullptr;
    ASSERT_EQ(fsi_open_raw(device.path().c_str(), &channel), 0);
    const int fd = channel->fd;
    EXPECT_EQ(fsi_suspend_file(channel), 0);
    EXPECT_EQ(channel->fd, fd);
    EXPECT_EQ(fsi_close(channel), 0);
}

// ---- card-terminal commands ------------------------------------------------------------

TEST_F(RawChannel, RequestWithoutACardGivesTheStandInAtrAndMutesTheSecureElement)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, {0x6A, 0x82}));
    unsigned char answer[64];
    unsigned length = sizeof(answer);
    ASSERT_EQ(fsi_request(channel, answer, &length, 1000), 0);
    EXPECT_EQ(card.lastCommand().payloadType, FSI_PAYLOAD_FC);
    EXPECT_EQ(card.lastCommand().bytes, (Bytes{0x20, 0x12, 0x01, 0x01, 0x00}));
    const Bytes atr = {0x3B, 0x8B, 0x01, 'n', 'o', 'S',  'm',  'a', 'r',
                       't',  'C',  'a',  'r', 'd', 0xE6, 0x90, 0x00};
    EXPECT_EQ(Bytes(answer, answer + length), atr);
    EXPECT_EQ(channel->sePresent, 0);

    const size_t written = card.blocksWritten().size();
    const Bytes other = {0x80, 0xCA, 0, 0, 0};
    length = sizeof(answer);
    ASSERT_EQ(fsi_transmit_se(channel, other.data(), 5, answer, &length, 1000), 0);
    EXPECT_EQ(Bytes(answer, answer + length), (Bytes{0x6E, 0x00}));
    EXPECT_EQ(card.blocksWritten().size(), written);

    card.answerAlways(seAnswer({}, 0x9000));
    const Bytes own = {0xFF, 0x70, 0, 0, 0};
    length = sizeof(answer);
    ASSERT_EQ(fsi_transmit_se(channel, own.data(), 5, answer, &length, 1000), 0);
    EXPECT_EQ(card.lastCommand().bytes, own);
}

TEST_F(RawChannel, RequestAnswered9000KeepsTheSecureElement)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, OK));
    unsigned char answer[64];
    unsigned length = sizeof(answer);
    ASSERT_EQ(fsi_request(channel, answer, &length, 1000), 0);
    EXPECT_EQ(Bytes(answer, answer + length), OK);
    EXPECT_EQ(channel->sePresent, 1);
}

TEST_F(RawChannel, StandInAtrNeverOverrunsASmallAnswerBuffer)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, {0x6A, 0x82}));
    Bytes answer(32, 0x77);
    unsigned length = 4;
    EXPECT_EQ(fsi_reset(channel, 0x01, answer.data(), &length, 1000), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(channel->sePresent, 0);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(slice(answer, 2, 30), Bytes(30, 0x77));
}

TEST_F(RawChannel, TerminalCommandBytes)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, {0x01, 0x90, 0x00}));
    unsigned char answer[64];
    unsigned length = sizeof(answer);
    ASSERT_EQ(fsi_reset(channel, 0x07, answer, &length, 1000), 0);
    EXPECT_EQ(card.lastCommand().bytes, (Bytes{0x20, 0x11, 0x07, 0x01, 0x00}));
    EXPECT_EQ(length, 3u);
    length = sizeof(answer);
    ASSERT_EQ(fsi_status(channel, 0x46, answer, &length, 1000), 0);
    EXPECT_EQ(card.lastCommand().bytes, (Bytes{0x20, 0x13, 0x00, 0x46, 0x00}));
    EXPECT_EQ(Bytes(answer, answer + length), (Bytes{0x01, 0x90, 0x00}));
    ASSERT_EQ(fsi_eject(channel, 1000), 0);
    EXPECT_EQ(card.lastCommand().bytes, (Bytes{0x20, 0x15, 0x01, 0x00, 0x00}));
    EXPECT_EQ(card.lastCommand().payloadType, FSI_PAYLOAD_FC);
}

// What a caller that logs a transport code by name relies on: every code has a
// name of its own, and a value that is no transport code has none.
TEST(ErrorNames, EveryTransportCodeHasADistinctNameAndNoOtherValueHasOne)
{
    std::set<std::string> names;
    for (int code = FSI_INTERNAL_ERROR; code <= FSI_RET_OK; ++code) {
        const char* name = fsi_errorAsString(code);
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(std::string(name).rfind("FSI_", 0), 0u) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(FSI_RET_OK - FSI_INTERNAL_ERROR + 1));
    // The name is the constant's own, so a logged name leads back to the header.
    EXPECT_STREQ(fsi_errorAsString(FSI_RET_TIMEOUT), "FSI_RET_TIMEOUT");
    EXPECT_STREQ(fsi_errorAsString(FSI_RET_PARAM_APDU_SIZE_ERR), "FSI_RET_PARAM_APDU_SIZE_ERR");
    for (int other : {1, 0x9000, FSI_INTERNAL_ERROR - 1, INT_MIN, INT_MAX})
        EXPECT_EQ(fsi_errorAsString(other), nullptr) << other;
}

} // namespace
