#include "Disk.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Content.h"
#include "Server.h"

namespace vaultsim {

namespace {

const char kRunFolder[] = "/run/vaultsim";
const char kMountHelper[] = "/sbin/mount.fuse.vaultsim";
const char kBlkioRoot[] = "/sys/fs/cgroup/blkio";
constexpr int kLoopAttempts = 20;

// Finds the program of the card behind a partition node, so that `mount -t
// fuse.vaultsim` (and with it a plain remount of the mount helper) works.
const char kMountHelperScript[] = R"(#!/bin/sh
# Mounts the content of a virtual card's partition (made by vaultsim in disk mode).
name=${1##*/}
name=${name%%[0-9]*}
program=$(sed -n 's/^program=//p' "/run/vaultsim/$name.disk" 2>/dev/null)
if [ ! -x "$program" ]; then
    echo "mount.fuse.vaultsim: no virtual card disk for $1" >&2
    exit 32
fi
exec "$program" mount "$@"
)";

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

class RegistryLock
{
public:
    RegistryLock()
    {
        ::mkdir(kRunFolder, 0755);
        fd_ =
            ::open((std::string(kRunFolder) + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_EX);
        }
    }
    ~RegistryLock()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    int fd_ = -1;
};

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

bool loadRecord(const std::string& path, DiskRecord& record)
{
    std::string text;
    if (!readTextFile(path, text)) {
        return false;
    }
    record.values.clear();
    record.path = path;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            record.values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return true;
}

std::vector<DiskRecord> allRecords()
{
    std::vector<DiskRecord> records;
    DIR* folder = ::opendir(kRunFolder);
    if (folder == nullptr) {
        return records;
    }
    while (const dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        DiskRecord record;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".disk") == 0 &&
            loadRecord(std::string(kRunFolder) + "/" + name, record)) {
            records.push_back(record);
        }
    }
    ::closedir(folder);
    return records;
}

// Clock ticks from boot to the start of a process: with the pid it names one
// process for good, even once the pid is given to another.
std::string processStart(pid_t pid)
{
    std::string stat;
    if (!readTextFile("/proc/" + std::to_string(pid) + "/stat", stat)) {
        return {};
    }
    const std::size_t nameEnd = stat.rfind(')');
    // The fields after the program's name start with the third, the state; the start is the 22nd.
    const std::vector<std::string> fields =
        words(nameEnd == std::string::npos ? std::string() : stat.substr(nameEnd + 1));
    return fields.size() > 19 ? fields[19] : std::string();
}

std::string programOf(pid_t pid)
{
    char path[4096] = {};
    const ssize_t length =
        ::readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), path, sizeof path - 1);
    std::string program = length > 0 ? std::string(path, std::size_t(length)) : std::string();
    // A program rebuilt while it runs still owns its disks.
    const std::string replaced = " (deleted)";
    if (program.size() > replaced.size() &&
        program.compare(program.size() - replaced.size(), replaced.size(), replaced) == 0) {
        program.resize(program.size() - replaced.size());
    }
    return program;
}

bool ownerAlive(const DiskRecord& record)
{
    const pid_t pid = pid_t(std::atol(record.get("owner").c_str()));
    const std::string started = pid > 0 ? processStart(pid) : std::string();
    if (started.empty()) {
        return false;
    }
    const std::string recorded = record.get("owner-start");
    // Records of earlier versions name no start time, only the program.
    return recorded.empty() ? programOf(pid) == record.get("program") : started == recorded;
}

// Runs a program and waits; its exit status, or -1.
int run(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> mountsOf(const std::string& source)
{
    std::ifstream mounts("/proc/mounts");
    std::vector<std::string> targets;
    for (std::string line; std::getline(mounts, line);) {
        std::vector<std::string> fields = words(line);
        if (fields.size() > 1 && fields[0] == source) {
            targets.push_back(fields[1]);
        }
    }
    return targets;
}

bool unmountAll(const std::string& source, std::string& error)
{
    for (int round = 0; round < 10; ++round) {
        std::vector<std::string> targets = mountsOf(source);
        if (targets.empty()) {
            return true;
        }
        for (const std::string& target : targets) {
            // Mount tables escape blanks; the targets made here have none.
            if (::umount2(target.c_str(), 0) != 0) {
                ::umount2(target.c_str(), MNT_DETACH);
            }
        }
    }
    error = "cannot unmount " + source;
    return false;
}

bool writeSysFile(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

void removeThrottle(const DiskRecord& record)
{
    for (const std::string& device : words(record.get("throttled"))) {
        writeSysFile(std::string(kBlkioRoot) + "/blkio.throttle.read_bps_device", device + " 0");
    }
}

bool isBlockNode(const std::string& path, const std::string& numbers)
{
    struct stat info
    {
    };
    return !numbers.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode) &&
           std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)) ==
               numbers;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Far beyond the end of any image, and aligned for direct I/O.
constexpr std::uint64_t kBeyondAnyImage = 1ull << 50;

// Pulls the image from under a loop device as a card is pulled from its reader:
// past the image's end, the requests still queued or held by the read limit
// find nothing to read and fail, and the device shrinks to nothing.
void cutBacking(int fd)
{
    loop_info64 info{};
    if (::ioctl(fd, LOOP_GET_STATUS64, &info) == 0) {
        info.lo_offset = kBeyondAnyImage;
        info.lo_sizelimit = 0;
        ::ioctl(fd, LOOP_SET_STATUS64, &info);
    }
}

// Only a loop device that still serves this image is cut and taken away; one
// still open goes when its last user closes it.
void clearLoop(const std::string& node, const std::string& image)
{
    std::string backing;
    const std::string name = node.substr(node.rfind('/') + 1);
    if (!readTextFile("/sys/block/" + name + "/loop/backing_file", backing)) {
        return;
    }
    backing = trimmed(backing);
    if (backing != image && backing != image + " (deleted)") {
        return;
    }
    int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        cutBacking(fd);
        ::ioctl(fd, LOOP_CLR_FD, 0);
        ::close(fd);
    }
}

void removeMountHelperIfUnused()
{
    std::string text;
    if (allRecords().empty() && readTextFile(kMountHelper, text) && text == kMountHelperScript) {
        ::unlink(kMountHelper);
    }
}

bool installMountHelper(std::string& error)
{
    std::string text;
    if (readTextFile(kMountHelper, text) && text == kMountHelperScript) {
        return true;
    }
    if (!writeTextFile(kMountHelper, kMountHelperScript) || ::chmod(kMountHelper, 0755) != 0) {
        error = systemError(std::string("cannot install ") + kMountHelper);
        return false;
    }
    return true;
}

// Takes everything the record names away, in the order of a card pulled from
// its reader: every read in flight fails before anything is unmounted or
// removed. Call with the registry locked.
bool release(const DiskRecord& record, std::string& error)
{
    const std::string marker = pulledMarkerOf(record);
    const int markerFd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (markerFd >= 0) {
        ::close(markerFd);
    }
    for (const std::string& loop : words(record.get("loops"))) {
        clearLoop(loop, record.get("image"));
    }
    // Lifting the limit lets the held requests go on, to fail at once.
    removeThrottle(record);
    const std::string partition = record.get("partition");
    bool ok = partition.empty() || unmountAll(partition, error);
    if (record.get("mount-made") == "1") {
        ::rmdir(record.get("mount").c_str());
    }
    const char* const nodes[][2] = {{"disk", "disk-numbers"}, {"partition", "partition-numbers"}};
    for (const auto& node : nodes) {
        if (isBlockNode(record.get(node[0]), record.get(node[1]))) {
            ::unlink(record.get(node[0]).c_str());
        }
    }
    for (const std::string& node : words(record.get("loop-nodes-made"))) {
        ::unlink(node.c_str());
    }
    ::unlink(marker.c_str());
    ::unlink(record.path.c_str());
    removeMountHelperIfUnused();
    return ok;
}

int releaseStale()
{
    int cleaned = 0;
    for (const DiskRecord& record : allRecords()) {
        std::string ignored;
        if (!ownerAlive(record)) {
            release(record, ignored);
            ++cleaned;
        }
    }
    return cleaned;
}

bool nameTaken(const std::string& name)
{
    struct stat info
    {
    };
    const std::string paths[] = {"/sys/block/" + name, "/dev/" + name, "/dev/" + name + "1",
                                 std::string(kRunFolder) + "/" + name + ".disk"};
    for (const std::string& path : paths) {
        if (::lstat(path.c_str(), &info) == 0) {
            return true;
        }
    }
    return false;
}

// From the end of the alphabet, away from the letters real disks take first.
std::string freeDiskName()
{
    for (char letter = 'z'; letter >= 'b'; --letter) {
        std::string name = std::string("sd") + letter;
        if (!nameTaken(name)) {
            return name;
        }
    }
    return {};
}

std::string numbersOf(const std::string& sysDevFile)
{
    std::string text;
    return readTextFile(sysDevFile, text) ? trimmed(text) : std::string();
}

bool makeNode(const std::string& path, const std::string& numbers, std::string& error)
{
    unsigned major = 0;
    unsigned minor = 0;
    if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2 ||
        ::mknod(path.c_str(), S_IFBLK | 0660, makedev(major, minor)) != 0) {
        error = systemError("cannot make " + path);
        return false;
    }
    // As a disk node made by the system: readable and writable by the group "disk".
    const group* disks = ::getgrnam("disk");
    if (disks != nullptr && ::chown(path.c_str(), 0, disks->gr_gid) != 0) {
        error = systemError("cannot give " + path + " to the group disk");
        return false;
    }
    return ::chmod(path.c_str(), 0660) == 0;
}

} // namespace

std::string DiskRecord::get(const std::string& key) const
{
    auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

bool DiskRecord::save() const
{
    std::string text;
    for (const auto& [key, value] : values) {
        text.append(key).append("=").append(value).append("\n");
    }
    return writeTextFile(path, text);
}

bool writePartitionTable(const std::string& image, std::uint32_t startSector,
                         std::uint64_t sectorCount, std::string& error)
{
    unsigned char sector[512] = {};
    unsigned char* entry = sector + 446;
    const std::uint32_t count = std::uint32_t(std::min<std::uint64_t>(sectorCount, 0xFFFFFFFFu));
    // CHS fields say "use the LBA values".
    const unsigned char chs[] = {0xFE, 0xFF, 0xFF};
    std::memcpy(entry + 1, chs, 3);
    entry[4] = 0x0C;
    std::memcpy(entry + 5, chs, 3);
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = std::uint8_t(startSector >> (8 * i));
        entry[12 + i] = std::uint8_t(count >> (8 * i));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    int fd = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::pwrite(fd, sector, sizeof sector, 0) == ssize_t(sizeof sector);
    if (!ok) {
        error = systemError("cannot write the partition table of " + image);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

Disk::~Disk()
{
    std::string ignored;
    detach(ignored);
}

bool Disk::attach(const DiskOptions& options, std::string& error)
{
    if (::geteuid() != 0) {
        error = "disk mode needs root (loop devices, device nodes, mounts)";
        return false;
    }
    {
        RegistryLock lock;
        releaseStale();
        const std::string name = freeDiskName();
        if (name.empty()) {
            error = "no free /dev/sd<letter> name";
            return false;
        }
        const std::string program = programOf(::getpid());
        if (program.empty()) {
            error = systemError("cannot find this program");
            return false;
        }
        record_.path = std::string(kRunFolder) + "/" + name + ".disk";
        record_.values = {{"owner", std::to_string(::getpid())},
                          {"owner-start", processStart(::getpid())},
                          {"program", program},
                          {"image", options.image},
                          {"disk", "/dev/" + name},
                          {"partition", "/dev/" + name + "1"},
                          {"mount", options.mountPoint.empty()
                                        ? std::string(kRunFolder) + "/" + name
                                        : options.mountPoint}};
        attached_ = true;
        if (!record_.save()) {
            error = systemError("cannot write " + record_.path);
            return false;
        }
        bool made = makeLoops(options, error) && makeNodes(error) &&
                    setThrottle(options.readBytesPerSecond, error) && installMountHelper(error) &&
                    record_.save();
        if (!made) {
            std::string ignored;
            detach(ignored);
            return false;
        }
    }
    const std::string target = mountPoint();
    if (::mkdir(target.c_str(), 0755) == 0) {
        record_.values["mount-made"] = "1";
        record_.save();
    }
    if (run({"mount", "-t", "fuse.vaultsim", partitionNode(), target}) != 0 ||
        mountsOf(partitionNode()).empty()) {
        error = "cannot mount " + partitionNode() + " on " + target;
        std::string ignored;
        detach(ignored);
        return false;
    }
    return true;
}

bool Disk::makeLoops(const DiskOptions& options, std::string& error)
{
    int image = ::open(options.image.c_str(), O_RDWR | O_CLOEXEC);
    if (image < 0) {
        error = systemError("cannot open " + options.image);
        return false;
    }
    int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
        error = systemError("cannot open /dev/loop-control");
        ::close(image);
        return false;
    }
    const std::uint64_t offsets[] = {0, std::uint64_t(options.partitionStart) * 512};
    const std::uint64_t limits[] = {0, options.partitionBytes};
    const std::uint32_t flags[] = {LO_FLAGS_PARTSCAN, 0};
    for (int which = 0; which < 2; ++which) {
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < kLoopAttempts; ++attempt) {
            int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0) {
                break;
            }
            const std::string node = "/dev/loop" + std::to_string(number);
            if (::access(node.c_str(), F_OK) != 0 &&
                makeNode(node, numbersOf("/sys/block/loop" + std::to_string(number) + "/dev"),
                         error)) {
                record_.values["loop-nodes-made"] += node + " ";
            }
            fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
            loop_config config{};
            config.fd = std::uint32_t(image);
            config.info.lo_offset = offsets[which];
            config.info.lo_sizelimit = limits[which];
            // Uncached on the image, as the card writes it; autoclear frees the
            // device when this process dies without detaching.
            config.info.lo_flags = flags[which] | LO_FLAGS_DIRECT_IO | LO_FLAGS_AUTOCLEAR;
            if (fd >= 0 && ::ioctl(fd, LOOP_CONFIGURE, &config) != 0) {
                ::close(fd);
                fd = -1; // taken by someone else meanwhile: try the next free one
                continue;
            }
            if (fd >= 0) {
                record_.values["loops"] += node + " ";
                record_.values[which == 0 ? "disk-numbers" : "partition-numbers"] =
                    numbersOf("/sys/block/loop" + std::to_string(number) + "/dev");
                loopFds_.push_back(fd);
            }
        }
        if (fd < 0) {
            error = systemError("cannot set up a loop device for " + options.image);
            break;
        }
        record_.save();
    }
    ::close(control);
    ::close(image);
    return loopFds_.size() == 2;
}

bool Disk::makeNodes(std::string& error)
{
    return makeNode(diskNode(), record_.get("disk-numbers"), error) &&
           makeNode(partitionNode(), record_.get("partition-numbers"), error);
}

// Reads of the nodes are limited in the root group, which every process is in
// here; the content server limits the reads through the mount to the same rate.
bool Disk::setThrottle(std::uint64_t bytesPerSecond, std::string& error)
{
    if (bytesPerSecond == 0) {
        return true;
    }
    record_.values["read-bps"] = std::to_string(bytesPerSecond);
    for (const std::string& device :
         {record_.get("disk-numbers"), record_.get("partition-numbers")}) {
        if (!writeSysFile(std::string(kBlkioRoot) + "/blkio.throttle.read_bps_device",
                          device + " " + std::to_string(bytesPerSecond))) {
            error = systemError("cannot limit the read speed of " + device);
            return false;
        }
        record_.values["throttled"] += device + " ";
    }
    return true;
}

bool Disk::detach(std::string& error)
{
    if (!attached_) {
        return true;
    }
    attached_ = false;
    RegistryLock lock;
    const bool released = release(record_, error);
    for (int fd : loopFds_) {
        ::close(fd);
    }
    loopFds_.clear();
    return released;
}

void Disk::dropCaches() const
{
    for (int fd : loopFds_) {
        ::ioctl(fd, BLKFLSBUF, 0);
    }
}

int cleanStaleDisks()
{
    RegistryLock lock;
    return releaseStale();
}

bool findDisk(const std::string& name, DiskRecord& record)
{
    for (const DiskRecord& candidate : allRecords()) {
        if (candidate.get("image") == name || candidate.get("disk") == name ||
            candidate.get("partition") == name) {
            record = candidate;
            return true;
        }
    }
    return false;
}

std::string contentFolderOf(const DiskRecord& record)
{
    return contentPathFor(record.get("image"));
}

std::string pulledMarkerOf(const DiskRecord& record)
{
    return record.path.substr(0, record.path.rfind('.')) + ".pulled";
}

} // namespace vaultsim
