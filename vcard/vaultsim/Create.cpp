#include "Create.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>

#include "CardManagement.h"
#include "Content.h"
#include "Disk.h"
#include "Image.h"
#include "Server.h"
#include "vcard/StateFile.h"

namespace fs = std::filesystem;

namespace vaultsim {

namespace {

constexpr std::uint64_t kMinimumSize = std::uint64_t{64} * 1024;

std::vector<SessionPlan> exampleSessions()
{
    // A UTC recording, one with a zone of +1 h, one already in local time, and
    // one whose date the recorder could not set.
    return {
        {vcard::packDate(2023, 2, 16, 11, 7, 0), vcard::kZoneMarker, 0, {4096, 70000, 1 << 20}},
        {vcard::packDate(2023, 4, 5, 13, 7, 0), 4, 0, {512, 123457}},
        {vcard::packDate(2024, 12, 31, 23, 59, 59), vcard::kZoneMarker, 1, {65536}},
        {0, vcard::kZoneMarker, 0, {1000, 2000}},
    };
}

std::chrono::system_clock::time_point utcTime(std::uint32_t packed)
{
    std::tm parts{};
    parts.tm_year = int(packed >> 26) + 120;
    parts.tm_mon = int((packed >> 22) & 15u) - 1;
    parts.tm_mday = int((packed >> 17) & 31u);
    parts.tm_hour = int((packed >> 12) & 31u);
    parts.tm_min = int((packed >> 6) & 63u);
    parts.tm_sec = int(packed & 63u);
    return std::chrono::system_clock::from_time_t(timegm(&parts));
}

void setTime(const fs::path& path, std::uint32_t packed)
{
    if (!vcard::packedDateValid(packed)) {
        return;
    }
    // Whole seconds, set directly: going through the file clock's now() can be off by one.
    const std::time_t seconds = std::chrono::system_clock::to_time_t(utcTime(packed));
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0); // a recording without its time is still kept
}

// Files of a recording: a media folder with numbered clips, their content a
// pattern that names the session so that copies can be checked.
bool writeSessionFiles(const fs::path& folder, std::uint32_t id, const SessionPlan& plan,
                       std::string& error)
{
    fs::path media = folder / "DCIM";
    std::error_code code;
    fs::create_directories(media, code);
    for (std::size_t i = 0; i < plan.fileSizes.size() && !code; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "CLIP%04zu.MP4", i + 1);
        fs::path file = (i == 0 ? folder : media) / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        std::string pattern =
            "session " + std::to_string(id) + " file " + std::to_string(i + 1) + "\n";
        for (std::uint64_t left = plan.fileSizes[i]; left > 0 && out;) {
            std::size_t piece = std::size_t(std::min<std::uint64_t>(left, pattern.size()));
            out.write(pattern.data(), std::streamsize(piece));
            left -= piece;
        }
        if (!out.flush()) {
            error = "cannot write " + file.string();
            return false;
        }
        out.close();
        setTime(file, plan.packedDate);
    }
    setTime(media, plan.packedDate);
    setTime(folder, plan.packedDate);
    if (code) {
        error = "cannot create " + media.string() + ": " + code.message();
    }
    return !code;
}

vcard::Bytes derivedControllerId(const std::string& image)
{
    std::string seed = fs::absolute(image).string() +
                       std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    std::uint64_t hash = std::hash<std::string>{}(seed);
    vcard::Bytes id;
    vcard::appendU64(id, hash);
    vcard::appendU64(id, hash * 0x9E3779B97F4A7C15ull);
    return id;
}

bool addSessions(const CreateOptions& options, vcard::Card& card, std::string& error)
{
    std::vector<SessionPlan> plans = options.sessions;
    if (options.exampleSessions) {
        std::vector<SessionPlan> examples = exampleSessions();
        plans.insert(plans.begin(), examples.begin(), examples.end());
    }
    ContentStore store(options.image);
    vcard::CardState& state = card.state();
    std::uint32_t id = 1;
    for (const SessionPlan& plan : plans) {
        if (!writeSessionFiles(store.sessionFolder(id), id, plan, error)) {
            return false;
        }
        state.sessions.push_back(vcard::Session{id, plan.packedDate, plan.zone, plan.localFlag, 0});
        ++id;
    }
    state.current =
        vcard::Session{id, vcard::packUtc(std::time(nullptr)), vcard::kZoneMarker, 0, 0};
    store.refreshSizes(card);
    return store.sync(card, true, error);
}

void removeCard(const std::string& image)
{
    std::error_code ignored;
    fs::remove(image, ignored);
    fs::remove(statePathFor(image), ignored);
    fs::remove(controlPathFor(image), ignored);
    fs::remove_all(sessionsPathFor(image), ignored);
    fs::remove_all(contentPathFor(image), ignored);
}

bool writeIdentification(const std::string& image, const vcard::CardState& state,
                         std::string& error)
{
    Image file;
    if (!file.open(image, std::uint64_t(state.partitionStart) * vcard::kBlockSize, error)) {
        return false;
    }
    if (!file.write(vcard::kIdentificationSector * vcard::kBlockSize,
                    vcard::makeIdentificationSector(state))) {
        error = "cannot write the identification sector of " + image;
        return false;
    }
    return true;
}

vcard::Bytes item(const std::string& text)
{
    vcard::Bytes out(text.size() + 1, std::uint8_t(text.size()));
    std::copy(text.begin(), text.end(), out.begin() + 1);
    return out;
}

// The Admin PIN a front end gives a card without a separate Admin user.
std::string derivedAdminPin(const std::string& pin)
{
    const auto pinLength = std::uint32_t(pin.size());
    std::uint32_t length = TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(pinLength);
    std::string adminPin(length, '\0');
    tresora_ac_calculateAdminPinFromPin(reinterpret_cast<const unsigned char*>(pin.data()),
                                        pinLength,
                                        reinterpret_cast<unsigned char*>(adminPin.data()), &length);
    return adminPin;
}

std::string activationLimits()
{
    return "PIN " + std::to_string(TRESORA_AC_PIN_MIN_LENGTH) + " to " +
           std::to_string(TRESORA_AC_PIN_MAX_LENGTH) + ", Admin PIN " +
           std::to_string(TRESORA_AC_ADMIN_PIN_MIN_LENGTH) + " to " +
           std::to_string(TRESORA_AC_ADMIN_PIN_MAX_LENGTH) + " characters, " +
           std::to_string(TRESORA_AC_RETRY_COUNTER_MIN) + " to " +
           std::to_string(TRESORA_AC_RETRY_COUNTER_MAX) + " retries";
}

// Through the card's own commands, so that a made card obeys the same rules.
bool activate(const CreateOptions& options, vcard::Card& card, std::string& error)
{
    const bool adminUser = !options.adminPin.empty();
    const std::string adminPin =
        adminUser ? options.adminPin : derivedAdminPin(options.activatePin);
    vcard::Bytes data = item(options.activatePin);
    vcard::Bytes admin = item(adminPin);
    data.insert(data.end(), admin.begin(), admin.end());
    data.push_back(options.retries);
    data.push_back(adminUser ? vcard::kFlagAdminSeparation : 0);
    vcard::Bytes apdu = {0xFF, 0x10, 0x01, 0x00, std::uint8_t(data.size())};
    apdu.insert(apdu.end(), data.begin(), data.end());
    const vcard::Bytes& answer =
        card.process(vcard::kSecureElementCommand, apdu, std::time(nullptr)).answer.payload;
    if (answer != vcard::Bytes{0x90, 0x00}) {
        error = "the card refused the activation (status " + vcard::toHex(answer) +
                "): " + activationLimits();
        return false;
    }
    card.state().cdromArea = 0;
    card.state().state = options.locked ? vcard::kLocked : vcard::kUnlocked;
    return true;
}

} // namespace

bool parseSize(const std::string& text, std::uint64_t& size)
{
    char* end = nullptr;
    if (text.empty() || text[0] == '-') {
        return false;
    }
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    std::string suffix = end;
    int shift = suffix.empty()  ? 0
                : suffix == "K" ? 10
                : suffix == "M" ? 20
                : suffix == "G" ? 30
                                : -1;
    if (end == text.c_str() || shift < 0 || value > (~0ull >> shift)) {
        return false;
    }
    size = value << shift;
    return true;
}

bool parseSessionPlan(const std::string& text, SessionPlan& plan, std::string& error)
{
    std::size_t equals = text.find('=');
    std::string when = text.substr(0, equals);
    std::string zone;
    std::size_t slash = when.find('/');
    if (slash != std::string::npos) {
        zone = when.substr(slash + 1);
        when.erase(slash);
    }
    plan = SessionPlan{};
    vcard::CardState probe;
    std::string line = "format = 1\nsession = 1 " + (when == "invalid" ? "0x00000000" : when) +
                       " " + (zone.empty() || zone == "L" ? "A" : zone) + " " +
                       (zone == "L" ? "1" : "0") + " 0\n";
    std::string ignored;
    if (equals == std::string::npos || !vcard::parseState(line, probe, ignored)) {
        error = "cannot read the session \"" + text + "\"";
        return false;
    }
    plan.packedDate = probe.sessions[0].packedDate;
    plan.zone = probe.sessions[0].zone;
    plan.localFlag = probe.sessions[0].localFlag;
    std::istringstream sizes(text.substr(equals + 1));
    for (std::string piece; std::getline(sizes, piece, ',');) {
        std::uint64_t size = 0;
        if (!parseSize(piece, size)) {
            error.assign("bad file size \"")
                .append(piece)
                .append("\" in \"")
                .append(text)
                .append("\"");
            return false;
        }
        plan.fileSizes.push_back(size);
    }
    return true;
}

int create(CreateOptions options)
{
    const std::string& image = options.image;
    if (cardInUse(image)) {
        std::fprintf(stderr, "vaultsim: %s is being served; stop that first\n", image.c_str());
        return 1;
    }
    if (fs::exists(image) && !options.force) {
        std::fprintf(stderr, "vaultsim: %s exists (use --force to replace it)\n", image.c_str());
        return 1;
    }
    if (options.state.sizeBytes < kMinimumSize || options.state.sizeBytes % 512 != 0) {
        std::fprintf(stderr, "vaultsim: the size must be a multiple of 512 and at least 64K\n");
        return 1;
    }
    removeCard(image);
    if (!options.controllerIdGiven) {
        options.state.controllerId = derivedControllerId(image);
    }
    vcard::Card card(options.state);
    std::string error;
    if (!options.activatePin.empty() && !activate(options, card, error)) {
        std::fprintf(stderr, "vaultsim: %s\n", error.c_str());
        return 1;
    }
    const std::uint64_t partitionOffset = std::uint64_t(options.state.partitionStart) * 512;
    bool made =
        createSparseImage(image, partitionOffset + options.state.sizeBytes, error) &&
        (partitionOffset == 0 || writePartitionTable(image, options.state.partitionStart,
                                                     options.state.sizeBytes / 512, error)) &&
        addSessions(options, card, error) && writeIdentification(image, card.state(), error) &&
        (writeTextFile(statePathFor(image), vcard::formatState(card.state())) ||
         (error = "cannot write " + statePathFor(image), false));
    if (!made) {
        std::fprintf(stderr, "vaultsim: %s\n", error.c_str());
        removeCard(image);
        return 1;
    }
    std::printf("vaultsim: created %s (%zu recorded sessions)\n", image.c_str(),
                card.state().sessions.size());
    return 0;
}

} // namespace vaultsim
