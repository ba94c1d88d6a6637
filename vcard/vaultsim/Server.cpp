#include "Server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "CardCommandCodes.h"
#include "Content.h"
#include "Disk.h"
#include "Image.h"
#include "vcard/Card.h"
#include "vcard/Faults.h"
#include "vcard/StateFile.h"

namespace vaultsim {

namespace {

using Clock = std::chrono::steady_clock;

// The host writes the blocks of one command back to back.
constexpr auto kNextPartWindow = std::chrono::milliseconds(100);

std::string hexBytes(const vcard::Bytes& bytes, std::size_t limit)
{
    std::string text = vcard::toHex(
        vcard::Bytes(bytes.begin(), bytes.begin() + long(std::min(limit, bytes.size()))));
    return bytes.size() > limit ? text + "..." : text;
}

class Server
{
public:
    explicit Server(const ServeOptions& options) : options_(options), content_(options.image) {}
    ~Server();
    int run();

private:
    bool start(std::string& error);
    bool attachDisk(std::string& error);
    std::string readyText() const;
    bool setUpNotifications(std::string& error);
    bool persist(bool force);
    void serveLoop();
    bool waitForChange(bool& modified);
    void takeBlock(const vcard::Block& block, bool modified);
    void handleCommand(std::uint8_t type, const vcard::Bytes& command);
    void answer(const vcard::Response& response);
    bool replaceCommandBlock(const vcard::Block& block);
    bool pause(std::uint32_t ms);
    void reloadFaults();
    void vanish();
    void log(const std::string& text) const;

    ServeOptions options_;
    Image image_;
    vcard::Card card_;
    ContentStore content_;
    Disk disk_;
    vcard::FaultPlan faults_;
    vcard::CommandAssembler assembler_;
    int notify_ = -1;
    int signals_ = -1;
    int cardLock_ = -1;
    bool stopping_ = false;
    bool readFailing_ = false;
    std::string savedState_;
    vcard::Block savedSector_{};
    vcard::CommandWatch watch_;
    Clock::time_point lastPartAt_{};
    std::string faultsText_;
    bool faultsLoaded_ = false;
};

Server::~Server()
{
    if (notify_ >= 0) {
        ::close(notify_);
    }
    if (signals_ >= 0) {
        ::close(signals_);
    }
    if (cardLock_ >= 0) {
        ::close(cardLock_);
    }
}

void Server::log(const std::string& text) const
{
    std::fprintf(stderr, "vaultsim: %s\n", text.c_str());
}

bool Server::start(std::string& error)
{
    std::string text;
    vcard::CardState state;
    const std::string statePath = statePathFor(options_.image);
    if (!readTextFile(statePath, text)) {
        error = "cannot read " + statePath + " (create the card with `vaultsim create` first)";
        return false;
    }
    if (!vcard::parseState(text, state, error)) {
        error = statePath + ": " + error;
        return false;
    }
    if (options_.longCommandMs >= 0) {
        state.longCommandMs = std::uint32_t(options_.longCommandMs);
    }
    card_ = vcard::Card(state);
    savedState_ = text;
    if (!image_.open(options_.image, std::uint64_t(state.partitionStart) * vcard::kBlockSize,
                     error) ||
        !setUpNotifications(error)) {
        return false;
    }
    cardLock_ = lockCard(options_.image);
    if (cardLock_ < 0) {
        error = "another vaultsim already serves " + options_.image;
        return false;
    }
    content_.refreshSizes(card_);
    if (!content_.sync(card_, true, error)) {
        return false;
    }
    reloadFaults();
    return persist(true);
}

bool Server::setUpNotifications(std::string& error)
{
    notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0 || inotify_add_watch(notify_, options_.image.c_str(),
                                         IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF) < 0) {
        error = std::string("cannot watch the image: ") + std::strerror(errno);
        return false;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    signals_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals_ < 0) {
        error = std::string("cannot receive signals: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool Server::persist(bool force)
{
    std::string text = vcard::formatState(card_.state());
    std::string error;
    bool ok = true;
    if (force || text != savedState_) {
        if (writeTextFile(statePathFor(options_.image), text)) {
            savedState_ = text;
        } else {
            log("cannot write the state file " + statePathFor(options_.image));
            ok = false;
        }
    }
    if (!content_.sync(card_, false, error)) {
        log(error);
        ok = false;
    }
    vcard::Block sector = vcard::makeIdentificationSector(card_.state());
    if (force || sector != savedSector_) {
        if (image_.write(vcard::kIdentificationSector * vcard::kBlockSize, sector)) {
            savedSector_ = sector;
            disk_.dropCaches();
        } else {
            log("cannot write the identification sector");
            ok = false;
        }
    }
    return ok;
}

bool Server::waitForChange(bool& modified)
{
    pollfd fds[2] = {{signals_, POLLIN, 0}, {notify_, POLLIN, 0}};
    modified = false;
    if (::poll(fds, 2, options_.pollMs) < 0 && errno != EINTR) {
        return false;
    }
    if (fds[0].revents & POLLIN) {
        stopping_ = true;
        return false;
    }
    alignas(inotify_event) char buffer[4096];
    ssize_t length = 0;
    while ((length = ::read(notify_, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            modified = modified || (event->mask & IN_MODIFY);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return true;
}

void Server::serveLoop()
{
    while (!stopping_) {
        bool modified = false;
        if (!waitForChange(modified)) {
            continue;
        }
        if (image_.removed()) {
            log("the image " + options_.image + " was removed; stopping");
            return;
        }
        vcard::Block block;
        const bool readable = image_.read(vcard::kCommandBlockOffset, block);
        if (!readable && !readFailing_) {
            log(std::string("cannot read the command block: ") + std::strerror(errno));
        }
        readFailing_ = !readable;
        if (!readable) {
            continue;
        }
        if (vcard::isCommandBlock(block)) {
            takeBlock(block, modified);
        }
    }
}

// A block still holding a command is taken up once per write of the host; the
// same bytes written again (a retry) count as a new command.
void Server::takeBlock(const vcard::Block& block, bool modified)
{
    if (!watch_.isNew(block, modified, Clock::now())) {
        return;
    }
    vcard::CommandBlock part;
    if (!vcard::parseCommandBlock(block, part)) {
        log("ignoring a command block with an impossible length");
        return;
    }
    // The blocks of one command follow each other at once; a command left
    // unfinished long ago is not continued by a new block.
    if (Clock::now() - lastPartAt_ > kNextPartWindow) {
        assembler_.clear();
    }
    lastPartAt_ = Clock::now();
    if (assembler_.add(part) == vcard::CommandAssembler::Result::Complete) {
        vcard::Bytes command = assembler_.command();
        assembler_.clear();
        handleCommand(part.type, command);
    }
}

void Server::handleCommand(std::uint8_t type, const vcard::Bytes& command)
{
    if (options_.verbose) {
        log("command type " + std::to_string(type) + ": " + hexBytes(command, 16));
    }
    reloadFaults();
    vcard::FaultRule fault;
    const bool faulty = faults_.take(type, command, fault);
    if (faulty) {
        log("fault \"" + fault.command + "\" on command " + hexBytes(command, 5));
    }
    if (faulty && fault.kind == vcard::FaultKind::Vanish) {
        vanish();
        return;
    }
    if (faulty && fault.kind == vcard::FaultKind::NoAnswer) {
        return;
    }
    if (faulty && fault.kind == vcard::FaultKind::Busy && fault.argument == 0) {
        replaceCommandBlock(vcard::makeBusyBlock());
        return;
    }
    vcard::Response response;
    response.answer.type =
        type == vcard::kTerminalCommand ? vcard::kTerminalAnswer : vcard::kSecureElementAnswer;
    if (!faulty || vcard::faultExecutesCommand(fault)) {
        if (command.size() > 1 && command[1] == SFC_INS_LIST_SESSIONS) {
            content_.refreshSizes(card_);
        }
        response = card_.process(type, faulty ? vcard::faultedCommand(fault, command) : command,
                                 std::time(nullptr));
        persist(false);
    }
    if (faulty) {
        response.answer = vcard::shapeAnswer(fault, response.answer, command);
        if (fault.kind == vcard::FaultKind::Busy) {
            response.busyMs = std::max(response.busyMs, fault.argument);
        }
    }
    answer(response);
}

void Server::answer(const vcard::Response& response)
{
    if (response.busyMs > 0) {
        replaceCommandBlock(vcard::makeBusyBlock());
        // A disk stopped meanwhile was pulled: no answer comes any more.
        if (!pause(response.busyMs) && options_.disk) {
            return;
        }
    }
    if (!replaceCommandBlock(vcard::makeAnswerBlock(response.answer))) {
        log(std::string("cannot write the answer: ") + std::strerror(errno));
    }
}

bool Server::replaceCommandBlock(const vcard::Block& block)
{
    watch_.replaced();
    return image_.write(vcard::kCommandBlockOffset, block);
}

// Waits, but notes a stop request; the answer in progress is still given.
bool Server::pause(std::uint32_t ms)
{
    pollfd fd = {signals_, POLLIN, 0};
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) {
            return true;
        }
        if (::poll(&fd, 1, int(left.count())) > 0) {
            stopping_ = true;
        }
    }
    return false;
}

// Read before every command, so a rule written just before a command applies to
// it. Rules given as options come first; changed text starts all rules afresh.
void Server::reloadFaults()
{
    std::string text;
    for (const std::string& line : options_.faults) {
        text += line + "\n";
    }
    std::string fileText;
    if (readTextFile(controlPathFor(options_.image), fileText)) {
        text += fileText;
    }
    if (faultsLoaded_ && text == faultsText_) {
        return;
    }
    faultsLoaded_ = true;
    faultsText_ = text;
    std::string error;
    if (!faults_.parse(text, error)) {
        log("faults ignored: " + error);
        faults_.parse("", error);
    }
}

void Server::vanish()
{
    if (::unlink(options_.image.c_str()) != 0) {
        log(std::string("cannot remove the image: ") + std::strerror(errno));
    }
    log("the card vanished: image removed");
    stopping_ = true;
}

int Server::run()
{
    std::string error;
    if (!start(error)) {
        log(error);
        return 1;
    }
    if (!options_.pidFile.empty() &&
        !writeTextFile(options_.pidFile, std::to_string(::getpid()) + "\n")) {
        log("cannot write the pid file " + options_.pidFile);
        return 1;
    }
    if (options_.disk && !attachDisk(error)) {
        log(error);
        return 1;
    }
    std::printf("%s\n", readyText().c_str());
    std::fflush(stdout);
    serveLoop();
    // A disk stops as a card is pulled: every read in flight fails, and the
    // card loses power.
    if (!disk_.detach(error)) {
        log(error);
    }
    if (options_.disk) {
        card_.powerCycle();
    }
    persist(false);
    if (!options_.pidFile.empty()) {
        ::unlink(options_.pidFile.c_str());
    }
    return 0;
}

bool Server::attachDisk(std::string& error)
{
    const vcard::CardState& state = card_.state();
    if (state.partitionStart == 0) {
        error = options_.image + " holds no partition table; make the card with `vaultsim create " +
                options_.image + " --disk`";
        return false;
    }
    // The host may go away without reading the ready line; that must not stop the card.
    std::signal(SIGPIPE, SIG_IGN);
    char* absolute = ::realpath(options_.image.c_str(), nullptr);
    DiskOptions disk;
    disk.image = absolute != nullptr ? absolute : options_.image;
    std::free(absolute);
    disk.partitionStart = state.partitionStart;
    disk.partitionBytes = state.sizeBytes;
    disk.mountPoint = options_.mountPoint;
    disk.readBytesPerSecond = options_.readBytesPerSecond;
    return disk_.attach(disk, error);
}

std::string Server::readyText() const
{
    std::string text = "vaultsim: ready " + options_.image + " pid " + std::to_string(::getpid());
    if (options_.disk) {
        text += " disk " + disk_.diskNode() + " partition " + disk_.partitionNode() + " mount " +
                disk_.mountPoint();
    }
    return text;
}

} // namespace

bool readTextFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

bool writeTextFile(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

int serve(const ServeOptions& options)
{
    Server server(options);
    return server.run();
}

} // namespace vaultsim
