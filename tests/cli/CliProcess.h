// Runs the built vaultcli as a separate process and collects what it printed.
#ifndef VIX_TESTS_CLI_PROCESS_H
#define VIX_TESTS_CLI_PROCESS_H

#include <string>
#include <vector>

namespace clitest {

struct CliResult
{
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// `workFolder` receives the captured streams and the helper call log.
class CliProcess
{
public:
    explicit CliProcess(std::string workFolder);

    CliResult run(const std::vector<std::string>& arguments, const std::string& input = {},
                  const std::vector<std::string>& extraEnvironment = {}) const;
    // Lines "<program> <arguments>" of the helper programs run so far.
    std::vector<std::string> helperCalls() const;
    void clearHelperCalls() const;

private:
    std::string path(const char* name) const { return folder_ + "/" + name; }
    std::vector<std::string> environment(const std::vector<std::string>& extra) const;

    std::string folder_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

} // namespace clitest

#endif
