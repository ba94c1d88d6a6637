// The card's content on disk: one folder per session and the folder that
// presents what the card currently shows.
#ifndef VAULTSIM_CONTENT_H
#define VAULTSIM_CONTENT_H

#include <string>

#include "vcard/Card.h"

namespace vaultsim {

std::string statePathFor(const std::string& image);
std::string controlPathFor(const std::string& image);
std::string sessionsPathFor(const std::string& image);
std::string contentPathFor(const std::string& image);

class ContentStore
{
public:
    explicit ContentStore(const std::string& image);

    // Removes the folders of sessions the card no longer has, makes sure the
    // current session has one, and rebuilds the presented folder when what the
    // card shows changed, including the files of the shown session (or always
    // with `force`). False on a file-system error.
    bool sync(const vcard::Card& card, bool force, std::string& error);
    // Session sizes from the files in their folders.
    void refreshSizes(vcard::Card& card) const;
    std::string sessionFolder(std::uint32_t id) const;

private:
    bool rebuildView(std::uint32_t shown, bool protectedView, std::string& error);

    std::string sessions_;
    std::string content_;
    std::string shownKey_;
};

// Size of all files below a folder, in 512-byte sectors (each file rounded up).
std::uint32_t folderSectors(const std::string& folder);

} // namespace vaultsim

#endif
