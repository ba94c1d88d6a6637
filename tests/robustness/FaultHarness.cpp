#include "FaultHarness.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace robustness {

namespace {

const uint64_t BLOCK = 512;
const uint64_t COMMAND_BLOCK = 2048;
const uint64_t IDENTIFICATION_SECTOR = 26 * BLOCK;

bool isGuarded(uint64_t offset)
{
    return offset != COMMAND_BLOCK && offset != IDENTIFICATION_SECTOR;
}

// A different content for every block, so that a block copied elsewhere shows too.
void patternFor(uint64_t offset, unsigned char* block)
{
    uint32_t state = static_cast<uint32_t>(offset / BLOCK) * 2654435761u + 0x9E3779B9u;
    for (uint64_t i = 0; i < BLOCK; ++i) {
        state = state * 1103515245u + 12345u;
        block[i] = static_cast<unsigned char>(state >> 16);
    }
}

} // namespace

DataBlockGuard::DataBlockGuard(const std::string& image)
{
    fd_ = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        throw std::runtime_error("cannot open card image " + image);
    size_ = static_cast<uint64_t>(info.st_size) / BLOCK * BLOCK;
    unsigned char block[BLOCK];
    for (uint64_t offset = 0; offset < size_; offset += BLOCK) {
        if (!isGuarded(offset))
            continue;
        patternFor(offset, block);
        if (::pwrite(fd_, block, BLOCK, static_cast<off_t>(offset)) != static_cast<ssize_t>(BLOCK))
            throw std::runtime_error("cannot write card image " + image);
    }
    ::fsync(fd_);
}

DataBlockGuard::~DataBlockGuard()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::vector<uint64_t> DataBlockGuard::changedBlocks() const
{
    std::vector<uint64_t> changed;
    unsigned char expected[BLOCK], actual[BLOCK];
    for (uint64_t offset = 0; offset < size_; offset += BLOCK) {
        if (!isGuarded(offset))
            continue;
        patternFor(offset, expected);
        if (::pread(fd_, actual, BLOCK, static_cast<off_t>(offset)) !=
                static_cast<ssize_t>(BLOCK) ||
            std::memcmp(expected, actual, BLOCK) != 0)
            changed.push_back(offset);
    }
    return changed;
}

int runBounded(std::function<int()> call, std::chrono::seconds limit)
{
    struct Shared
    {
        std::atomic<bool> done{false};
        std::atomic<int> result{0};
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, call = std::move(call)] {
        shared->result = call();
        shared->done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!shared->done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!shared->done) {
        std::fprintf(stderr, "the call still runs after %lld s: it hangs\n",
                     static_cast<long long>(limit.count()));
        worker.detach();
        return HUNG;
    }
    worker.join();
    return shared->result;
}

namespace {

void drain(int fd, std::string& into)
{
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0)
        into.append(buffer, static_cast<size_t>(got));
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::seconds limit)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0]);

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (pollfd& p : fds) {
            if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP)) == 0)
                continue;
            std::string& into = &p == &fds[0] ? result.out : result.err;
            const size_t before = into.size();
            drain(p.fd, into);
            if (into.size() == before) {
                ::close(p.fd);
                p.fd = -1;
                --open;
            }
        }
    }
    for (pollfd& p : fds) {
        if (p.fd >= 0)
            ::close(p.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

bool isFailureReport(const std::string& line, int code)
{
    char expected[64];
    if (code > 0) {
        std::snprintf(expected, sizeof expected, "Failed, error: 0x%x", code);
        return line == expected;
    }
    std::snprintf(expected, sizeof expected, "Failed, error: %d", code);
    return line.rfind(expected, 0) == 0 &&
           std::regex_match(line.substr(std::string(expected).size()),
                            std::regex("(, system error: [0-9]+ \\(.+\\))?"));
}

int exitStatusForCode(int code)
{
    const auto bits = static_cast<uint32_t>(code);
    if (bits & 0xFFu)
        return static_cast<int>(bits & 0xFFu);
    return static_cast<int>((bits >> 8) & 0xFFu);
}

std::string failureLine(const std::string& text)
{
    const size_t start = text.rfind("Failed, error: ");
    if (start == std::string::npos)
        return {};
    return text.substr(start, text.find('\n', start) - start);
}

} // namespace robustness
