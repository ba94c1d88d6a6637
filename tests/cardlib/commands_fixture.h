// A raw channel on a device file, answered by the in-process fake card.
#ifndef VIX_TESTS_COMMANDS_FIXTURE_H
#define VIX_TESTS_COMMANDS_FIXTURE_H

#include <gtest/gtest.h>

#include "SfcCardManager.h"
#include "transport_fake_card.h"

namespace cardtest {

class CardCommand : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(sfc::open_raw(device.path().c_str(), &channel), 0); }
    void TearDown() override { sfc::close(channel); }

    // The card answers every command with `data` and the status word.
    void cardAnswers(const Bytes& data, unsigned statusWord = 0x9000)
    {
        card.answerAlways(seAnswer(data, statusWord));
    }
    const Bytes& sent() const { return card.lastCommand().bytes; }
    size_t commandCount() const { return card.commands().size(); }

    DeviceFile device;
    FakeCard card;
    SFC_FSI* channel = nullptr;
};

inline Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

inline Bytes repeated(size_t count, unsigned char value)
{
    return Bytes(count, value);
}

} // namespace cardtest

#endif
