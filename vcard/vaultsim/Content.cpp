#include "Content.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace vaultsim {

namespace {

const char kFiller[] = "*PROTECTED DATA*";

bool writeFiller(const fs::path& target, std::uintmax_t size)
{
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::string block;
    while (block.size() < 65536) {
        block += kFiller;
    }
    for (std::uintmax_t left = size; left > 0 && out;) {
        std::size_t piece = std::size_t(std::min<std::uintmax_t>(left, block.size()));
        out.write(block.data(), std::streamsize(piece));
        left -= piece;
    }
    return bool(out);
}

void copyTime(const fs::path& from, const fs::path& to)
{
    std::error_code ignored;
    fs::last_write_time(to, fs::last_write_time(from, ignored), ignored);
}

// Recreates `source` below `target`: plain files as hard links (copies where
// links are not possible) or, for a protected view, as filler of the same size.
bool mirror(const fs::path& source, const fs::path& target, bool protectedView, std::string& error)
{
    std::error_code code;
    fs::create_directories(target, code);
    if (code) {
        error = "cannot create " + target.string() + ": " + code.message();
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(source, code)) {
        fs::path destination = target / entry.path().filename();
        if (entry.is_directory(code)) {
            if (!mirror(entry.path(), destination, protectedView, error)) {
                return false;
            }
            continue;
        }
        if (!entry.is_regular_file(code)) {
            continue;
        }
        bool made = false;
        if (protectedView) {
            made = writeFiller(destination, entry.file_size(code));
            copyTime(entry.path(), destination);
        } else {
            fs::create_hard_link(entry.path(), destination, code);
            made = !code || fs::copy_file(entry.path(), destination, code);
        }
        if (!made) {
            error = "cannot present " + entry.path().string() + ": " + code.message();
            return false;
        }
    }
    copyTime(source, target);
    return true;
}

// Changes when a file below the folder is added, removed, resized or rewritten.
std::string folderSignature(const std::string& folder)
{
    std::size_t signature = 0;
    std::error_code code;
    for (fs::recursive_directory_iterator it(folder, code), end; !code && it != end;
         it.increment(code)) {
        std::error_code ignored;
        const auto stamp = it->last_write_time(ignored).time_since_epoch().count();
        const std::string entry =
            it->path().string() + ":" +
            std::to_string(it->is_regular_file(ignored) ? it->file_size(ignored) : 0) + ":" +
            std::to_string(stamp);
        signature = signature * 31 + std::hash<std::string>{}(entry);
    }
    return ":" + std::to_string(signature);
}

} // namespace

std::string statePathFor(const std::string& image)
{
    return image + ".state";
}
std::string controlPathFor(const std::string& image)
{
    return image + ".faults";
}
std::string sessionsPathFor(const std::string& image)
{
    return image + ".sessions";
}
std::string contentPathFor(const std::string& image)
{
    return image + ".content";
}

ContentStore::ContentStore(const std::string& image)
    : sessions_(sessionsPathFor(image)), content_(contentPathFor(image))
{
}

std::string ContentStore::sessionFolder(std::uint32_t id) const
{
    return (fs::path(sessions_) / std::to_string(id)).string();
}

bool ContentStore::sync(const vcard::Card& card, bool force, std::string& error)
{
    const vcard::CardState& state = card.state();
    std::set<std::string> known = {std::to_string(state.current.id)};
    for (const vcard::Session& session : state.sessions) {
        known.insert(std::to_string(session.id));
    }
    std::error_code code;
    fs::create_directories(sessionFolder(state.current.id), code);
    if (code) {
        error = "cannot create the session folder: " + code.message();
        return false;
    }
    bool removed = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(sessions_, code)) {
        if (known.count(entry.path().filename().string()) == 0) {
            fs::remove_all(entry.path(), code);
            removed = true;
        }
    }
    std::string key = std::to_string(card.shownSessionId()) + (card.contentProtected() ? "p" : "") +
                      folderSignature(sessionFolder(card.shownSessionId()));
    if (!force && !removed && key == shownKey_) {
        return true;
    }
    shownKey_ = key;
    return rebuildView(card.shownSessionId(), card.contentProtected(), error);
}

bool ContentStore::rebuildView(std::uint32_t shown, bool protectedView, std::string& error)
{
    std::error_code code;
    fs::remove_all(content_, code);
    if (code) {
        error = "cannot clear " + content_ + ": " + code.message();
        return false;
    }
    return mirror(sessionFolder(shown), content_, protectedView, error);
}

void ContentStore::refreshSizes(vcard::Card& card) const
{
    const vcard::CardState& state = card.state();
    std::vector<std::uint32_t> ids = {state.current.id};
    for (const vcard::Session& session : state.sessions) {
        ids.push_back(session.id);
    }
    for (std::uint32_t id : ids) {
        card.setSessionSectors(id, folderSectors(sessionFolder(id)));
    }
}

std::uint32_t folderSectors(const std::string& folder)
{
    std::uintmax_t sectors = 0;
    std::error_code code;
    for (fs::recursive_directory_iterator it(folder, code), end; !code && it != end;
         it.increment(code)) {
        if (it->is_regular_file(code)) {
            sectors += (it->file_size(code) + 511) / 512;
        }
    }
    return std::uint32_t(std::min<std::uintmax_t>(sectors, 0xFFFFFFFFu));
}

} // namespace vaultsim
