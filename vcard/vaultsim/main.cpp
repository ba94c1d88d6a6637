// vaultsim: a virtual card. `create` makes one, `serve` runs it.
#include <cstdio>
#include <cstring>
#include <string>

#include "Attach.h"
#include "Create.h"
#include "Disk.h"
#include "Mount.h"
#include "Server.h"
#include "vcard/Faults.h"
#include "vcard/StateFile.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  vaultsim create IMAGE [options]   make a new virtual card\n"
    "  vaultsim serve IMAGE [options]    run the card until SIGTERM or SIGINT\n"
    "  vaultsim attach IMAGE [options]   serve a --disk card as /dev/sd<letter> in the\n"
    "                                    background (root); prints DISK PARTITION MOUNT PID\n"
    "  vaultsim detach IMAGE|DISK|PARTITION\n"
    "                                    pull an attached card: reads in flight fail,\n"
    "                                    its disk goes away and the card loses power\n"
    "  vaultsim clean-up                 take away disks that killed runs left behind\n"
    "  vaultsim --help\n"
    "\n"
    "create options:\n"
    "  --size BYTES              image size, suffix K, M or G (default 64M)\n"
    "  --form-factor micro|full  CID form factor 'N' or 'L' (default micro)\n"
    "  --generation ccv2|ccv1    identification generation (default ccv2)\n"
    "  --firmware X.Y.Z          firmware version (default 1.2.3)\n"
    "  --update-version X.Y.Z|next|same\n"
    "                            version after a firmware update (default next)\n"
    "  --controller-id HEX       controller identifier (default: 16 derived bytes)\n"
    "  --long-command-ms N       busy time of activation and resets (default 100)\n"
    "  --example-sessions        four recorded sessions with files, one without a valid date\n"
    "  --session DATE[/ZONE]=SIZE[,SIZE...]\n"
    "                            a recorded session; DATE is YYYY-MM-DDTHH:MM:SS or\n"
    "                            \"invalid\", ZONE is A (UTC), L (local) or quarter hours\n"
    "  --invalid-filesystem      the card has no valid file system (activation fails)\n"
    "  --no-secure-element       the card-terminal request reports no card\n"
    "  --incompatibility N       incompatibility flags of the identification sector\n"
    "  --activate PIN            make the card already activated, unlocked and writable\n"
    "  --admin-pin ADMIN_PIN     with --activate: a separate Admin user (else the Admin\n"
    "                            PIN is the PIN padded with '0' to 8 characters)\n"
    "  --retries N               with --activate: retry counters (default 3)\n"
    "  --locked                  with --activate: the card starts locked\n"
    "  --force                   replace an existing card\n"
    "  --disk                    the image is a whole disk: a partition table, and the\n"
    "                            card's partition (of --size) from sector 2048\n"
    "\n"
    "serve options:\n"
    "  --pid-file PATH           write the process id there once ready\n"
    "  --long-command-ms N       override the busy time stored with the card\n"
    "  --fault \"COMMAND FAULT [ARG] [once|always]\"\n"
    "                            misbehave (also read from IMAGE.faults)\n"
    "  --poll-ms N               fallback poll interval (default 5)\n"
    "  --verbose                 log every command on standard error\n"
    "  --disk                    present a --disk card as a disk under /dev (root)\n"
    "  --mount DIR               with --disk: mount point (default /run/vaultsim/sd<letter>)\n"
    "  --read-bps N              with --disk: limit reads to N bytes per second\n"
    "\n"
    "See docs/vaultsim.md for the files beside the image and the fault syntax.\n";

int usageError(const std::string& message)
{
    std::fprintf(stderr, "vaultsim: %s\n\n%s", message.c_str(), kUsage);
    return 1;
}

// The arguments after the image, one option (and its value) at a time.
class Arguments
{
public:
    Arguments(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool more() const { return next_ < argc_; }
    std::string take() { return next_ < argc_ ? argv_[next_++] : ""; }
    bool hasValue() const { return next_ < argc_; }

private:
    int argc_;
    char** argv_;
    int next_ = 3;
};

// Applies one create option. Empty result: success, else the error.
std::string createOption(const std::string& name, Arguments& arguments,
                         vaultsim::CreateOptions& options)
{
    vcard::CardState& state = options.state;
    auto value = [&arguments]() { return arguments.take(); };
    if (name == "--example-sessions") {
        options.exampleSessions = true;
    } else if (name == "--invalid-filesystem") {
        state.fileSystemValid = false;
    } else if (name == "--no-secure-element") {
        state.secureElementPresent = false;
    } else if (name == "--force") {
        options.force = true;
    } else if (name == "--disk") {
        state.partitionStart = vaultsim::kDiskPartitionStart;
    } else if (name == "--size") {
        return vaultsim::parseSize(value(), state.sizeBytes) ? "" : "bad --size";
    } else if (name == "--form-factor") {
        return vcard::parseFormFactor(value(), state) ? "" : "--form-factor takes micro or full";
    } else if (name == "--generation") {
        return vcard::parseGeneration(value(), state) ? "" : "--generation takes ccv2 or ccv1";
    } else if (name == "--firmware") {
        return vcard::parseVersion(value(), state.firmwareVersion) ? "" : "bad --firmware";
    } else if (name == "--update-version") {
        return vcard::parseUpdateVersion(value(), state) ? "" : "bad --update-version";
    } else if (name == "--controller-id") {
        options.controllerIdGiven = true;
        return vcard::parseControllerId(value(), state)
                   ? ""
                   : "--controller-id takes 1 to " + std::to_string(vcard::kControllerIdMax) +
                         " bytes in hex";
    } else if (name == "--long-command-ms") {
        return vcard::parseLongCommandMs(value(), state.longCommandMs) ? ""
                                                                       : "bad --long-command-ms";
    } else if (name == "--incompatibility") {
        return vcard::parseNumber(value(), state.incompatibilityFlags) ? ""
                                                                       : "bad --incompatibility";
    } else if (name == "--activate") {
        options.activatePin = value();
        return options.activatePin.empty() ? "--activate needs a PIN" : "";
    } else if (name == "--admin-pin") {
        options.adminPin = value();
        return options.adminPin.empty() ? "--admin-pin needs a value" : "";
    } else if (name == "--retries") {
        return vcard::parseNumber(value(), options.retries) ? "" : "bad --retries";
    } else if (name == "--locked") {
        options.locked = true;
    } else if (name == "--session") {
        vaultsim::SessionPlan plan;
        std::string error;
        if (!vaultsim::parseSessionPlan(value(), plan, error)) {
            return error;
        }
        options.sessions.push_back(plan);
    } else {
        return "unknown option " + name;
    }
    return "";
}

int runCreate(int argc, char** argv)
{
    vaultsim::CreateOptions options;
    options.image = argv[2];
    Arguments arguments(argc, argv);
    while (arguments.more()) {
        std::string error = createOption(arguments.take(), arguments, options);
        if (!error.empty()) {
            return usageError(error);
        }
    }
    if (options.activatePin.empty() && (!options.adminPin.empty() || options.locked)) {
        return usageError("--admin-pin and --locked need --activate");
    }
    return vaultsim::create(options);
}

std::string serveOption(const std::string& name, Arguments& arguments,
                        vaultsim::ServeOptions& options)
{
    if (name == "--verbose" || name == "--disk") {
        (name == "--disk" ? options.disk : options.verbose) = true;
        return "";
    }
    if (!arguments.hasValue()) {
        return name + " needs a value";
    }
    std::string value = arguments.take();
    std::uint32_t milliseconds = 0;
    std::uint64_t number = 0;
    vcard::FaultRule rule;
    std::string error;
    if (name == "--pid-file") {
        options.pidFile = value;
    } else if (name == "--fault") {
        if (!vcard::parseFaultRule(value, rule, error)) {
            return "--fault: " + error;
        }
        options.faults.push_back(value);
    } else if (name == "--long-command-ms" && vcard::parseLongCommandMs(value, milliseconds)) {
        options.longCommandMs = long(milliseconds);
    } else if (name == "--mount") {
        options.mountPoint = value;
    } else if (name == "--read-bps" && vcard::parseUnsigned(value, ~0ull, number) && number > 0) {
        options.readBytesPerSecond = number;
    } else if (name == "--poll-ms" && vcard::parseUnsigned(value, 1000, number) && number > 0) {
        options.pollMs = int(number);
    } else {
        return "bad option " + name + " " + value;
    }
    return "";
}

int runServe(int argc, char** argv)
{
    vaultsim::ServeOptions options;
    options.image = argv[2];
    Arguments arguments(argc, argv);
    while (arguments.more()) {
        std::string error = serveOption(arguments.take(), arguments, options);
        if (!error.empty()) {
            return usageError(error);
        }
    }
    if (!options.disk && (!options.mountPoint.empty() || options.readBytesPerSecond != 0)) {
        return usageError("--mount and --read-bps need --disk");
    }
    return vaultsim::serve(options);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "clean-up") == 0) {
        return vaultsim::cleanUp();
    }
    if (argc < 3) {
        return usageError("missing command or image");
    }
    std::string command = argv[1];
    if (command == "attach") {
        return vaultsim::attach(argc, argv);
    }
    if (command == "detach") {
        return argc == 3 ? vaultsim::detach(argv[2]) : usageError("detach takes one argument");
    }
    if (command == "mount") {
        return vaultsim::mountContent(argc, argv);
    }
    if (command == "create") {
        return runCreate(argc, argv);
    }
    if (command == "serve") {
        return runServe(argc, argv);
    }
    return usageError("unknown command " + command);
}
