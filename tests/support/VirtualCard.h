// A virtual card for tests: a fresh folder, `vaultsim create`, then `vaultsim serve`
// until the object goes away. No gtest dependency; failures throw std::runtime_error.
#ifndef VIX_TEST_SUPPORT_VIRTUAL_CARD_H
#define VIX_TEST_SUPPORT_VIRTUAL_CARD_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace vixtest {

enum class FormFactor { MicroSd, FullSize };
enum class Generation { Ccv2, Ccv1 };

struct VirtualCardOptions
{
    FormFactor formFactor = FormFactor::MicroSd;
    Generation generation = Generation::Ccv2;
    std::string firmwareVersion = "1.2.3"; // "major.minor.patch"
    // Version the card reports after a firmware update; empty: patch + 1.
    // "same" makes an update leave the version unchanged.
    std::string updateVersion;
    std::string controllerId; // hex text; empty: 16 bytes derived from the path and time
    bool exampleSessions = false;
    unsigned longCommandMs = 50;        // duration of activation and resets (busy answers)
    std::vector<std::string> extraArgs; // further `vaultsim create` options
    // A card that starts activated (writable). Empty pin: transparent.
    std::string pin;
    std::string adminPin; // empty: no Admin user, Admin PIN = PIN padded with '0' to 8
    unsigned retries = 3;
    bool locked = false;
    // Disk mode (root only): the card becomes /dev/sd<letter> with its partition
    // /dev/sd<letter>1 mounted; devicePath() is then the partition node.
    bool disk = false;
    std::string mountPoint;                    // empty: vaultsim's default under /run/vaultsim
    unsigned long long readBytesPerSecond = 0; // 0: reads not limited
};

// Misbehaviour of the card on a chosen command (see docs/vaultsim.md).
enum class Fault {
    NoAnswer,         // the command block is left untouched: the host times out
    StayBusy,         // busy answers without end
    WrongType,        // answer block of the other answer type
    ImpossibleLength, // answer length larger than one block can hold
    TooShort,         // answer of fewer than 2 bytes
    Overcount,        // session list / profile list announces more records than it carries
    StatusWord,       // the given status word instead of the real answer
    Vanish            // the image is removed while the command is pending
};
enum class Repeat { Once, Always };

class VirtualCard
{
public:
    explicit VirtualCard(const VirtualCardOptions& options = {});
    ~VirtualCard();
    VirtualCard(const VirtualCard&) = delete;
    VirtualCard& operator=(const VirtualCard&) = delete;

    // The "partition device" the card API takes: the image file, or in disk mode
    // the partition node.
    const std::string& devicePath() const { return disk_ ? partitionNode_ : image_; }
    const std::string& imagePath() const { return image_; }
    // Disk mode only: the whole-disk node, and where the partition is mounted.
    const std::string& diskNode() const { return diskNode_; }
    const std::string& mountPoint() const { return mountPoint_; }
    // Folder presenting the content the card currently shows (its "mount point").
    std::string contentDir() const;
    // Folder holding one sub-folder per recorded session (named by session id).
    std::string sessionsDir() const;
    std::string statePath() const;
    std::string controlPath() const;
    const std::string& folder() const { return folder_; }
    // Current text of the state file.
    std::string stateText() const;
    // Value of one "key = value" line of the state file; empty when absent.
    std::string stateValue(const std::string& key) const;

    // `command`: an INS in hex ("30", "0x30"), a command name ("verify") or "any".
    void setFault(const std::string& command, Fault fault, Repeat repeat = Repeat::Always,
                  unsigned statusWord = 0);
    void setFaultLine(const std::string& line); // one raw control-file line
    void clearFaults();

    void stop();  // SIGTERM and wait; the state stays
    void start(); // serve again, waits for readiness (throws after a Vanish fault: no image)
    // Disk mode: taken from its reader with `vaultsim detach` (reads in flight fail, the card
    // loses power) and put back in, perhaps under another letter. Else the same as stop/start.
    void pull();
    void plugIn() { start(); }
    bool isRunning() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    void writeControlFile();
    std::vector<std::string> serveArguments() const;

    std::string folder_;
    std::string image_;
    bool disk_ = false;
    std::string requestedMountPoint_;
    unsigned long long readBytesPerSecond_ = 0;
    std::string diskNode_;
    std::string partitionNode_;
    std::string mountPoint_;
    std::vector<std::string> faultLines_;
    unsigned controlChanges_ = 0;
    pid_t pid_ = -1;
};

// Path of the vaultsim program the tests use.
std::string vaultsimPath();
// Why disk mode cannot run here (not root, no loop devices, no FUSE); empty when it can.
std::string diskModeUnavailable();

} // namespace vixtest

#endif
