// Direct (uncached) block access to the image, as the host has it.
#ifndef VAULTSIM_IMAGE_H
#define VAULTSIM_IMAGE_H

#include <string>

#include "vcard/Protocol.h"

namespace vaultsim {

class Image
{
public:
    Image() = default;
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Offsets given to read and write count from `partitionOffset`, the byte
    // where the card's partition starts in the image.
    bool open(const std::string& path, std::uint64_t partitionOffset, std::string& error);
    bool read(std::uint64_t offset, vcard::Block& block);
    bool write(std::uint64_t offset, const vcard::Block& block);
    bool removed() const; // the image's name is gone
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::uint64_t base_ = 0;
    unsigned char* buffer_ = nullptr;
};

// One server per card: an exclusive lock held while serving. It is taken on the
// sessions folder, because the host locks the image itself around its exchanges.
// Returns the descriptor holding the lock, or -1.
int lockCard(const std::string& image);
// True when a running `vaultsim serve` holds the card.
bool cardInUse(const std::string& image);
bool createSparseImage(const std::string& path, std::uint64_t size, std::string& error);

} // namespace vaultsim

#endif
