// Running programs and setting up loop devices for the host helper tests.
#ifndef VIX_TEST_HOST_TOOLS_H
#define VIX_TEST_HOST_TOOLS_H

#include <string>
#include <vector>

namespace vixtest {

struct ProgramRun
{
    int exitStatus = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] with the arguments as given (argv[0] included) and waits.
ProgramRun runProgram(const std::vector<std::string>& argv);

// A folder under /tmp (a disk file system) removed with everything in it.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A loop device over an image file; empty path() when none could be set up.
class LoopDevice
{
public:
    LoopDevice(const std::string& image, bool partitionScan);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& path() const { return path_; }
    const std::string& whyMissing() const { return whyMissing_; }

private:
    std::string path_;
    std::string whyMissing_;
};

// Writes a sparse image of `megabytes` whose MBR holds one partition.
void writePartitionedImage(const std::string& image, unsigned megabytes);

} // namespace vixtest

#endif
