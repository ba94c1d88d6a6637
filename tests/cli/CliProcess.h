// Runs the built vaultcli as a separate process and collects what it printed.
#ifndef VIX_TESTS_CLI_PROCESS_H
#define VIX_TESTS_CLI_PROCESS_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace clitest {

struct CliResult
{
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

struct TerminalRun
{
    CliResult result;
    std::string shown; // what the terminal displayed while the program ran
    bool echoRestored = false;
};

// `workFolder` receives the captured streams and the helper call log.
class CliProcess
{
public:
    explicit CliProcess(std::string workFolder);

    CliResult run(const std::vector<std::string>& arguments, const std::string& input = {},
                  const std::vector<std::string>& extraEnvironment = {}) const;
    // Standard input is a terminal; each line of `line` is typed once the program
    // has turned the echo off for it.
    TerminalRun runOnTerminal(const std::vector<std::string>& arguments,
                              const std::string& line) const;
    // Starts the program without waiting; standard input is inputFd (or the text of
    // the last run() when -1). collect() waits for it and reads what it printed.
    // In a process group of its own, job control (a stop) works whatever group the
    // test runs in.
    pid_t spawn(const std::vector<std::string>& arguments, int inputFd,
                const std::vector<std::string>& extraEnvironment,
                bool ownProcessGroup = false) const;
    CliResult collect(pid_t pid) const;
    // What the running program has written to standard error so far.
    std::string errorsSoFar() const;
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
