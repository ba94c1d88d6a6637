// Disk mode: the card's image as a removable disk under /dev (root only).
//
// A whole-disk loop device with partition scanning, a second loop device at the
// partition's offset, /dev/sd<letter> and /dev/sd<letter>1 made with mknod, the
// card's content mounted from the partition node, and an optional read-speed
// limit. Everything made is written down under /run/vaultsim as it is made, so
// that a later run takes away what a killed one left.
#ifndef VAULTSIM_DISK_H
#define VAULTSIM_DISK_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vaultsim {

// Where the partition starts in a disk image: 1 MiB, as partitioning tools align it.
constexpr std::uint32_t kDiskPartitionStart = 2048;

// Writes a partition table whose first partition (FAT32, LBA) covers the given sectors.
bool writePartitionTable(const std::string& image, std::uint32_t startSector,
                         std::uint64_t sectorCount, std::string& error);

struct DiskOptions
{
    std::string image; // absolute path
    std::uint32_t partitionStart = 0;
    std::uint64_t partitionBytes = 0;
    std::string mountPoint;               // empty: /run/vaultsim/<name>
    std::uint64_t readBytesPerSecond = 0; // 0: no limit
};

// What a disk is made of, as written to its record file.
struct DiskRecord
{
    std::map<std::string, std::string> values;
    std::string path; // the record file

    std::string get(const std::string& key) const;
    bool save() const;
};

class Disk
{
public:
    Disk() = default;
    ~Disk();
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    // Makes the loop devices, the nodes and the mount. On failure everything
    // made so far is taken away again.
    bool attach(const DiskOptions& options, std::string& error);
    // Takes everything away; false when something could not be removed (told in `error`).
    bool detach(std::string& error);
    // Drops the page caches of both loop devices, after the card wrote to the image.
    void dropCaches() const;

    std::string diskNode() const { return record_.get("disk"); }
    std::string partitionNode() const { return record_.get("partition"); }
    std::string mountPoint() const { return record_.get("mount"); }

private:
    bool makeLoops(const DiskOptions& options, std::string& error);
    bool makeNodes(std::string& error);
    bool setThrottle(std::uint64_t bytesPerSecond, std::string& error);

    DiskRecord record_;
    std::vector<int> loopFds_;
    bool attached_ = false;
};

// Takes away what runs no longer alive left behind. Returns the number of disks cleaned.
int cleanStaleDisks();
// The record of the disk whose image, disk node or partition node is `name`.
bool findDisk(const std::string& name, DiskRecord& record);
// The folder a disk's record names as the card's presented content.
std::string contentFolderOf(const DiskRecord& record);
// The file that exists from the moment the disk is pulled until it is gone.
std::string pulledMarkerOf(const DiskRecord& record);

} // namespace vaultsim

#endif
