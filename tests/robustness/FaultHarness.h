// Helpers of the fault-injection suite: a guard over the card's data blocks, the
// fixture of a guarded card, a watchdog for calls that must end, and a runner for
// vaultcli.
#ifndef VIX_TEST_ROBUSTNESS_FAULT_HARNESS_H
#define VIX_TEST_ROBUSTNESS_FAULT_HARNESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VirtualCard.h"
#include "fakehelpers.h"

namespace robustness {

// Fills every block of the card image but the command block and the
// identification sector (the only ones the card itself writes) with a pattern of
// its own, and tells later which of them differ from it. It holds the image open,
// so the blocks stay readable after the card was removed.
class DataBlockGuard
{
public:
    explicit DataBlockGuard(const std::string& image);
    ~DataBlockGuard();
    DataBlockGuard(const DataBlockGuard&) = delete;
    DataBlockGuard& operator=(const DataBlockGuard&) = delete;

    // Byte offsets of the guarded blocks that no longer hold their pattern.
    std::vector<uint64_t> changedBlocks() const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// A virtual card made with `options()`, served while the test runs, whose data
// blocks must come through the test untouched.
template <vixtest::VirtualCardOptions (*options)()> class GuardedCard : public testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(guard.changedBlocks(), std::vector<uint64_t>{}); }

    vixtest::FakeHelpers helpers;
    vixtest::VirtualCard card{options()};
    DataBlockGuard guard{card.devicePath()};
    const std::string device = card.devicePath();
};

// Result of runBounded for a call that hangs.
constexpr int HUNG = -1000000;

// Runs `call` and returns its result, or HUNG when it is still running after
// `limit`. A hung call is left running on its own thread, so `call` must own
// what it uses (capture by value) and the test goes on to clean up.
int runBounded(std::function<int()> call, std::chrono::seconds limit);

struct ProcessResult
{
    int exitStatus = -1; // -1 when killed by a signal
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs a program with standard input from /dev/null; kills it after `limit`.
ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::seconds limit);

// The report vaultcli prints for a failed API call: "Failed, error: ..." for the
// code as printError writes it, the errno part matched loosely.
bool isFailureReport(const std::string& line, int code);
// The process status vaultcli exits with for an API result code.
int exitStatusForCode(int code);
// The last "Failed, error: ..." line of a text, without its line break; the line in
// words that may follow it is not part of it.
std::string failureLine(const std::string& text);

} // namespace robustness

#endif
