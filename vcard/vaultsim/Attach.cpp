#include "Attach.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Disk.h"
#include "Server.h"

namespace vaultsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReadyTimeout = std::chrono::seconds(60);
constexpr auto kDetachTimeout = std::chrono::seconds(60);

std::string absolutePath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string result = resolved != nullptr ? resolved : path;
    std::free(resolved);
    return result;
}

// The line the server prints once its disk is ready, or empty when it ended first.
std::string readyLine(int fd, pid_t server)
{
    std::string seen;
    const auto deadline = Clock::now() + kReadyTimeout;
    while (seen.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd waiting = {fd, POLLIN, 0};
        if (::poll(&waiting, 1, 200) < 0 && errno != EINTR) {
            break;
        }
        char buffer[512];
        ssize_t got =
            (waiting.revents & (POLLIN | POLLHUP)) ? ::read(fd, buffer, sizeof buffer) : 0;
        if (got > 0) {
            seen.append(buffer, std::size_t(got));
        } else if (::waitpid(server, nullptr, WNOHANG) == server) {
            return {};
        }
    }
    return seen.rfind("vaultsim: ready", 0) == 0 ? seen.substr(0, seen.find('\n')) : std::string();
}

// "vaultsim: ready IMAGE pid PID disk DISK partition PART mount DIR" -> "DISK PART DIR PID"
std::string shellLine(const std::string& ready)
{
    std::istringstream in(ready);
    std::string word;
    std::string pid;
    std::string disk;
    std::string partition;
    std::string mount;
    while (in >> word) {
        std::string* slot = word == "pid"         ? &pid
                            : word == "disk"      ? &disk
                            : word == "partition" ? &partition
                            : word == "mount"     ? &mount
                                                  : nullptr;
        if (slot != nullptr) {
            in >> *slot;
        }
    }
    return disk + " " + partition + " " + mount + " " + pid;
}

pid_t startServer(int argc, char** argv, const std::string& image, int output)
{
    const std::string log = image + ".log";
    // By its own path, not /proc/self/exe, so that the server shows as vaultsim.
    char program[4096] = {};
    if (::readlink("/proc/self/exe", program, sizeof program - 1) <= 0) {
        return -1;
    }
    pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    ::setsid();
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(logFd >= 0 ? logFd : output, STDERR_FILENO);
    ::dup2(nothing, STDIN_FILENO);
    std::vector<char*> arguments = {argv[0], const_cast<char*>("serve"),
                                    const_cast<char*>(image.c_str()), const_cast<char*>("--disk")};
    for (int i = 3; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    arguments.push_back(nullptr);
    ::execv(program, arguments.data());
    ::_exit(127);
}

bool recordGone(const DiskRecord& record)
{
    return ::access(record.path.c_str(), F_OK) != 0;
}

} // namespace

int attach(int argc, char** argv)
{
    const std::string image = absolutePath(argv[2]);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("vaultsim: pipe");
        return 1;
    }
    pid_t server = startServer(argc, argv, image, pipeFds[1]);
    ::close(pipeFds[1]);
    const std::string ready = server > 0 ? readyLine(pipeFds[0], server) : std::string();
    ::close(pipeFds[0]);
    if (ready.empty()) {
        if (server > 0 && ::waitpid(server, nullptr, WNOHANG) == 0) {
            ::kill(server, SIGTERM);
        }
        std::string log;
        readTextFile(image + ".log", log);
        std::fprintf(stderr, "vaultsim: %s was not attached; from %s.log:\n%s", image.c_str(),
                     image.c_str(), log.substr(log.size() > 2000 ? log.size() - 2000 : 0).c_str());
        return 1;
    }
    std::printf("%s\n", shellLine(ready).c_str());
    return 0;
}

int detach(const std::string& name)
{
    DiskRecord record;
    if (!findDisk(name, record) && !findDisk(absolutePath(name), record)) {
        std::fprintf(stderr, "vaultsim: no attached disk for %s\n", name.c_str());
        return 1;
    }
    pid_t owner = pid_t(std::atol(record.get("owner").c_str()));
    if (owner > 0) {
        ::kill(owner, SIGTERM);
    }
    const auto deadline = Clock::now() + kDetachTimeout;
    while (!recordGone(record) && Clock::now() < deadline && ::kill(owner, 0) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    cleanStaleDisks();
    if (!recordGone(record)) {
        std::fprintf(stderr, "vaultsim: %s did not go away\n", record.get("disk").c_str());
        return 1;
    }
    return 0;
}

int cleanUp()
{
    if (::geteuid() != 0) {
        std::fprintf(stderr, "vaultsim: clean-up needs root\n");
        return 1;
    }
    std::printf("vaultsim: %d disk(s) taken away\n", cleanStaleDisks());
    return 0;
}

} // namespace vaultsim
