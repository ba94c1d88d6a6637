// Control of the fake helper programs (see fakehelpers.cmake) from a test:
// a fresh call log, the fakes first on PATH, and the failure switches.
#ifndef VIX_TEST_FAKE_HELPERS_H
#define VIX_TEST_FAKE_HELPERS_H

#include <string>
#include <vector>

namespace vixtest {

class FakeHelpers
{
public:
    // Logs into a new folder under /tmp; puts `helperDir` first on PATH and
    // clears every failure switch. Restores PATH and the variables on destruction.
    explicit FakeHelpers(const std::string& helperDir = VIX_TEST_HELPER_DIR);
    ~FakeHelpers();
    FakeHelpers(const FakeHelpers&) = delete;
    FakeHelpers& operator=(const FakeHelpers&) = delete;

    // One line per call: "<program> <arguments joined by spaces>".
    std::vector<std::string> calls() const;
    // One line per call: "<program> [arg1] [arg2]".
    std::vector<std::string> argvCalls() const;
    void clearCalls();

    // kind: SETTLE, UNMOUNT, REMOUNT or PARTRESCAN; calls: "all", "2", "1-3", ...
    void fail(const std::string& kind, const std::string& calls);
    // Failing calls die from SIGKILL instead of exiting with status 1.
    void failBySignal();

    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::string savedPath_;
};

} // namespace vixtest

#endif
