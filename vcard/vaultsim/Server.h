// `vaultsim serve`: answers the command blocks the host writes into the image.
#ifndef VAULTSIM_SERVER_H
#define VAULTSIM_SERVER_H

#include <cstdint>
#include <string>
#include <vector>

namespace vaultsim {

struct ServeOptions
{
    std::string image;
    std::string pidFile;
    long longCommandMs = -1; // -1: as stored in the state file
    std::vector<std::string> faults;
    int pollMs = 5; // fallback poll when no change notification arrives
    bool verbose = false;
    // Disk mode: present the card as a removable disk (see Disk.h).
    bool disk = false;
    std::string mountPoint;
    std::uint64_t readBytesPerSecond = 0;
};

int serve(const ServeOptions& options);

bool readTextFile(const std::string& path, std::string& text);
// Writes through a temporary file and a rename, so readers never see half a file.
bool writeTextFile(const std::string& path, const std::string& text);

} // namespace vaultsim

#endif
