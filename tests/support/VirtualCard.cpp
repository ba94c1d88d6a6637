#include "VirtualCard.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vixtest {

namespace {

constexpr int kReadyTimeoutMs = 20000;

std::string makeFolder()
{
    std::string pattern = (fs::temp_directory_path() / "vix-card-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder for the virtual card: " +
                                 std::string(std::strerror(errno)));
    }
    return pattern;
}

int runAndWait(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> createArguments(const std::string& image, const VirtualCardOptions& o)
{
    std::vector<std::string> args = {vaultsimPath(),
                                     "create",
                                     image,
                                     "--form-factor",
                                     o.formFactor == FormFactor::FullSize ? "full" : "micro",
                                     "--generation",
                                     o.generation == Generation::Ccv1 ? "ccv1" : "ccv2",
                                     "--firmware",
                                     o.firmwareVersion,
                                     "--long-command-ms",
                                     std::to_string(o.longCommandMs)};
    if (!o.updateVersion.empty()) {
        args.insert(args.end(), {"--update-version", o.updateVersion});
    }
    if (!o.controllerId.empty()) {
        args.insert(args.end(), {"--controller-id", o.controllerId});
    }
    if (o.exampleSessions) {
        args.push_back("--example-sessions");
    }
    if (!o.pin.empty()) {
        args.insert(args.end(), {"--activate", o.pin, "--retries", std::to_string(o.retries)});
        if (!o.adminPin.empty()) {
            args.insert(args.end(), {"--admin-pin", o.adminPin});
        }
        if (o.locked) {
            args.push_back("--locked");
        }
    }
    if (o.disk) {
        args.push_back("--disk");
    }
    args.insert(args.end(), o.extraArgs.begin(), o.extraArgs.end());
    return args;
}

const char* faultName(Fault fault)
{
    switch (fault) {
    case Fault::NoAnswer:
        return "no-answer";
    case Fault::StayBusy:
        return "busy";
    case Fault::WrongType:
        return "wrong-type";
    case Fault::ImpossibleLength:
        return "bad-length";
    case Fault::TooShort:
        return "short";
    case Fault::Overcount:
        return "overcount";
    case Fault::StatusWord:
        return "status";
    case Fault::Vanish:
        return "vanish";
    }
    return "";
}

// Reads the child's standard output until the ready line (or its end).
bool waitForReadyLine(int fd, std::string& seen)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (seen.find("vaultsim: ready") == std::string::npos ||
           seen.find('\n', seen.find("vaultsim: ready")) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting = {fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, int(left.count())) <= 0) {
            return false;
        }
        char buffer[256];
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        seen.append(buffer, std::size_t(got));
    }
    return seen.find('\n', seen.find("vaultsim: ready")) != std::string::npos;
}

// The word after `key` in the ready line.
std::string readyField(const std::string& line, const std::string& key)
{
    std::istringstream words(line.substr(line.find("vaultsim: ready")));
    for (std::string word; words >> word;) {
        if (word == key && words >> word) {
            return word;
        }
    }
    return {};
}

} // namespace

std::string diskModeUnavailable()
{
    if (::geteuid() != 0) {
        return "disk mode needs root (loop devices, device nodes, mounts)";
    }
    if (::access("/dev/loop-control", R_OK | W_OK) != 0) {
        return "no loop devices here (/dev/loop-control)";
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        return "no FUSE here (/dev/fuse)";
    }
    return {};
}

std::string vaultsimPath()
{
    const char* fromEnvironment = std::getenv("VIX_VAULTSIM");
    return fromEnvironment && *fromEnvironment ? fromEnvironment : VIX_VAULTSIM_PATH;
}

VirtualCard::VirtualCard(const VirtualCardOptions& options)
    : folder_(makeFolder()), disk_(options.disk), requestedMountPoint_(options.mountPoint),
      readBytesPerSecond_(options.readBytesPerSecond)
{
    image_ = folder_ + "/card.img";
    int status = runAndWait(createArguments(image_, options));
    if (status != 0) {
        fs::remove_all(folder_);
        throw std::runtime_error("vaultsim create failed with status " + std::to_string(status));
    }
    try {
        start();
    } catch (...) {
        fs::remove_all(folder_);
        throw;
    }
}

VirtualCard::~VirtualCard()
{
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string VirtualCard::contentDir() const
{
    return image_ + ".content";
}
std::string VirtualCard::sessionsDir() const
{
    return image_ + ".sessions";
}
std::string VirtualCard::statePath() const
{
    return image_ + ".state";
}
std::string VirtualCard::controlPath() const
{
    return image_ + ".faults";
}

std::string VirtualCard::stateText() const
{
    std::ifstream in(statePath());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string VirtualCard::stateValue(const std::string& key) const
{
    std::istringstream lines(stateText());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + " = ", 0) == 0) {
            return line.substr(key.size() + 3);
        }
    }
    return {};
}

void VirtualCard::setFault(const std::string& command, Fault fault, Repeat repeat,
                           unsigned statusWord)
{
    std::ostringstream line;
    line << command << ' ' << faultName(fault);
    if (fault == Fault::StatusWord) {
        line << ' ' << std::hex << statusWord;
    }
    line << (repeat == Repeat::Once ? " once" : " always");
    setFaultLine(line.str());
}

void VirtualCard::setFaultLine(const std::string& line)
{
    faultLines_.push_back(line);
    writeControlFile();
}

void VirtualCard::clearFaults()
{
    faultLines_.clear();
    writeControlFile();
}

// Through a rename, so that the emulator never reads half a file.
void VirtualCard::writeControlFile()
{
    const std::string temporary = controlPath() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        // The emulator re-arms its rules when the text changes, also for the same rules.
        out << "# change " << ++controlChanges_ << '\n';
        for (const std::string& line : faultLines_) {
            out << line << '\n';
        }
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary);
        }
    }
    if (std::rename(temporary.c_str(), controlPath().c_str()) != 0) {
        throw std::runtime_error("cannot replace " + controlPath());
    }
}

void VirtualCard::start()
{
    if (pid_ > 0) {
        return;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create a pipe for vaultsim");
    }
    const std::string program = vaultsimPath();
    // A test killed by its time limit must not leave its card running. The
    // signal follows the forking thread, so only the main thread asks for it.
    const bool mainThread = ::gettid() == ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (mainThread) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        }
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<std::string> arguments = serveArguments();
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string seen;
    bool ready = pid > 0 && waitForReadyLine(out[0], seen);
    ::close(out[0]);
    pid_ = pid;
    diskNode_ = readyField(seen, "disk");
    partitionNode_ = readyField(seen, "partition");
    mountPoint_ = readyField(seen, "mount");
    if (!ready) {
        stop();
        throw std::runtime_error("vaultsim serve did not become ready for " + image_);
    }
}

std::vector<std::string> VirtualCard::serveArguments() const
{
    std::vector<std::string> arguments = {vaultsimPath(), "serve", image_, "--pid-file",
                                          folder_ + "/serve.pid"};
    if (disk_) {
        arguments.push_back("--disk");
    }
    if (!requestedMountPoint_.empty()) {
        arguments.insert(arguments.end(), {"--mount", requestedMountPoint_});
    }
    if (readBytesPerSecond_ != 0) {
        arguments.insert(arguments.end(), {"--read-bps", std::to_string(readBytesPerSecond_)});
    }
    return arguments;
}

void VirtualCard::pull()
{
    if (disk_ && pid_ > 0) {
        runAndWait({vaultsimPath(), "detach", partitionNode_});
    }
    stop();
}

void VirtualCard::stop()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

} // namespace vixtest
