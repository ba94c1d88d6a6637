#include "fakehelpers.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace vixtest {

namespace {

const char* const kFailureKinds[] = {"SETTLE", "UNMOUNT", "REMOUNT", "PARTRESCAN"};

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void clearSwitches()
{
    for (const char* kind : kFailureKinds)
        unsetenv((std::string("VIX_FAKE_FAIL_") + kind).c_str());
    unsetenv("VIX_FAKE_FAIL_HOW");
    unsetenv("VIX_FAKE_EXIT_STATUS");
}

} // namespace

FakeHelpers::FakeHelpers(const std::string& helperDir)
{
    char folderTemplate[] = "/tmp/vix-fake-helpers-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr)
        throw std::runtime_error("cannot create a folder for the helper log");
    folder_ = folderTemplate;
    const char* path = getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", (helperDir + ":" + savedPath_).c_str(), 1);
    setenv("VIX_FAKE_LOG", (folder_ + "/calls.log").c_str(), 1);
    setenv("VIX_FAKE_ARGV_LOG", (folder_ + "/argv.log").c_str(), 1);
    clearSwitches();
}

FakeHelpers::~FakeHelpers()
{
    clearSwitches();
    unsetenv("VIX_FAKE_LOG");
    unsetenv("VIX_FAKE_ARGV_LOG");
    setenv("PATH", savedPath_.c_str(), 1);
    clearCalls();
    rmdir(folder_.c_str());
}

std::vector<std::string> FakeHelpers::calls() const
{
    return readLines(folder_ + "/calls.log");
}

std::vector<std::string> FakeHelpers::argvCalls() const
{
    return readLines(folder_ + "/argv.log");
}

void FakeHelpers::clearCalls()
{
    unlink((folder_ + "/calls.log").c_str());
    unlink((folder_ + "/argv.log").c_str());
}

void FakeHelpers::fail(const std::string& kind, const std::string& calls)
{
    setenv(("VIX_FAKE_FAIL_" + kind).c_str(), calls.c_str(), 1);
}

void FakeHelpers::failBySignal()
{
    setenv("VIX_FAKE_FAIL_HOW", "signal", 1);
}

} // namespace vixtest
