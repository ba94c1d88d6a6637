#include "CliProcess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

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

CliResult CliProcess::run(const std::vector<std::string>& arguments, const std::string& input,
                          const std::vector<std::string>& extraEnvironment) const
{
    writeFile(path("stdin"), input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
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
        posix_spawn(&pid, VAULTCLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        throw std::runtime_error(std::string("cannot start vaultcli: ") + strerror(spawnError));
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
