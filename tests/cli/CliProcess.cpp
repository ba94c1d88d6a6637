#include "CliProcess.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace clitest {

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

CliProcess::CliProcess(std::string workFolder) : folder_(std::move(workFolder)) {}

std::vector<std::string> CliProcess::environment(const std::vector<std::string>& extra) const
{
    std::vector<std::string> result;
    std::string path = "PATH=" VIX_HELPER_DIR;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("PATH=", 0) == 0)
            path += ":" + entry.substr(5);
        else if (entry.rfind("VIX_FAKE_", 0) != 0)
            result.push_back(entry);
    }
    result.push_back(path);
    result.push_back("VIX_FAKE_LOG=" + this->path("helpers.log"));
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

pid_t CliProcess::spawn(const std::vector<std::string>& arguments, int inputFd,
                        const std::vector<std::string>& extraEnvironment,
                        bool ownProcessGroup) const
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownProcessGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, path("stdin").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, path("stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, path("stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argvText{VAULTCLI_PATH};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvText)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = environment(extraEnvironment);
    std::vector<char*> envp;
    for (auto& entry : envText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError =
        posix_spawn(&pid, VAULTCLI_PATH, &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0)
        throw std::runtime_error(std::string("cannot start vaultcli: ") + strerror(spawnError));
    return pid;
}

CliResult CliProcess::collect(pid_t pid) const
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    CliResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(path("stdout"));
    result.err = readFile(path("stderr"));
    return result;
}

std::string CliProcess::errorsSoFar() const
{
    return readFile(path("stderr"));
}

CliResult CliProcess::run(const std::vector<std::string>& arguments, const std::string& input,
                          const std::vector<std::string>& extraEnvironment) const
{
    writeFile(path("stdin"), input);
    return collect(spawn(arguments, -1, extraEnvironment));
}

namespace {

bool echoIsOn(int terminal)
{
    struct termios settings;
    return tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

std::string drain(int terminal)
{
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
    std::string shown;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(got));
    return shown;
}

} // namespace

TerminalRun CliProcess::runOnTerminal(const std::vector<std::string>& arguments,
                                      const std::string& line) const
{
    int master = -1, terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    const pid_t pid = spawn(arguments, terminal, {});
    // Typing before the echo is off would show the line whatever the program does;
    // each prompt turns it off afresh and discards what was typed ahead, so a line
    // waits for a prompt written after the line before.
    std::istringstream lines(line);
    std::size_t promptedBefore = 0;
    for (std::string typed; std::getline(lines, typed);) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((errorsSoFar().size() <= promptedBefore || echoIsOn(terminal)) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        promptedBefore = errorsSoFar().size();
        typed += "\n";
        if (write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
            throw std::runtime_error("cannot type into the terminal");
    }
    TerminalRun run;
    run.result = collect(pid);
    run.echoRestored = echoIsOn(terminal);
    run.shown = drain(master);
    close(master);
    close(terminal);
    return run;
}

std::vector<std::string> CliProcess::helperCalls() const
{
    std::vector<std::string> calls;
    std::istringstream log(readFile(path("helpers.log")));
    for (std::string line; std::getline(log, line);)
        calls.push_back(line);
    return calls;
}

void CliProcess::clearHelperCalls() const
{
    writeFile(path("helpers.log"), "");
}

} // namespace clitest
