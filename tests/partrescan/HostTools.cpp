#include "HostTools.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vixtest {

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TempFolder::TempFolder()
{
    char folderTemplate[] = "/tmp/vix-host-test-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = folderTemplate;
}

TempFolder::~TempFolder()
{
    runProgram({"rm", "-rf", "--", path_});
}

ProgramRun runProgram(const std::vector<std::string>& argv)
{
    char outTemplate[] = "/tmp/vix-run-out-XXXXXX";
    char errTemplate[] = "/tmp/vix-run-err-XXXXXX";
    const int outFd = mkstemp(outTemplate);
    const int errFd = mkstemp(errTemplate);
    if (outFd < 0 || errFd < 0)
        throw std::runtime_error("cannot create files for a program's output");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    ProgramRun run;
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status))
            run.exitStatus = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outFd);
    close(errFd);
    run.out = readFile(outTemplate);
    run.err = readFile(errTemplate);
    unlink(outTemplate);
    unlink(errTemplate);
    return run;
}

LoopDevice::LoopDevice(const std::string& image, bool partitionScan)
{
    if (geteuid() != 0) {
        whyMissing_ = "loop devices need root";
        return;
    }
    std::vector<std::string> argv = {"losetup", "--find", "--show"};
    if (partitionScan)
        argv.push_back("--partscan");
    argv.push_back(image);
    const ProgramRun run = runProgram(argv);
    if (run.exitStatus != 0 || run.out.empty()) {
        whyMissing_ = "losetup could not set up a loop device: " + run.err;
        return;
    }
    path_ = run.out.substr(0, run.out.find('\n'));
}

LoopDevice::~LoopDevice()
{
    if (!path_.empty())
        runProgram({"losetup", "--detach", path_});
}

void writePartitionedImage(const std::string& image, unsigned megabytes)
{
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    // One Linux partition from sector 2048 to the end of the image.
    const uint32_t first = 2048;
    const uint32_t count = megabytes * 2048u - first;
    unsigned char mbr[512] = {};
    unsigned char* entry = mbr + 446;
    entry[4] = 0x83;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = static_cast<unsigned char>(first >> (8 * i));
        entry[12 + i] = static_cast<unsigned char>(count >> (8 * i));
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    out.write(reinterpret_cast<const char*>(mbr), sizeof mbr);
    out.close();
    if (truncate(image.c_str(), static_cast<off_t>(megabytes) << 20) != 0)
        throw std::runtime_error("cannot size the image " + image);
}

} // namespace vixtest
