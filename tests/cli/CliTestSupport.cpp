#include "CliTestSupport.h"

#include "presets/PresetDirectory.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>

extern char **environ;

namespace fs = std::filesystem;

namespace voriraz::test {

namespace {

// Reads both pipes until the program has closed them, or the time is up.
bool readUntilClosed(std::array<int, 2> fds, std::array<std::string *, 2> into, int timeoutMs)
{
    std::array<pollfd, 2> polls {{{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}}};
    int open = 2;
    while (open > 0) {
        const int ready = ::poll(polls.data(), polls.size(), timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        for (std::size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = ::read(polls[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                polls[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

} // namespace

Outcome runCommand(cli::Command &command, const cli::Arguments &arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.status = command.execute(arguments, {out, err});
    run.out = out.str();
    run.err = err.str();
    return run;
}

Outcome runCommand(cli::Command &&command, const cli::Arguments &arguments)
{
    return runCommand(command, arguments);
}

Outcome runProgram(const cli::Arguments &arguments, const fs::path &workingDirectory, const std::string &stdoutFile)
{
    Outcome run;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFile.empty())
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    std::vector<std::string> argv {VORIRAZ_CLI_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char *> pointers;
    for (std::string &argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, pointers.front(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    const bool finished = spawned == 0 && readUntilClosed({outPipe[0], errPipe[0]}, {&run.out, &run.err}, 60000);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start voriraz-cli: " << std::strerror(spawned);
        return run;
    }
    if (!finished)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished || !WIFEXITED(status)) {
        ADD_FAILURE() << "voriraz-cli did not finish normally";
        return run;
    }
    run.status = WEXITSTATUS(status);
    return run;
}

DataCopy::DataCopy(const fs::path &from, const std::string &name)
    : mFolder(mDir / name)
{
    copyTree(from, mFolder);
    if (!fs::exists(mFolder / "img"))
        paintCatalogIcons(mFolder);
}

std::vector<std::string> presetNames(const fs::path &dataFolder)
{
    return listPresetFiles((dataFolder / presetsFolder).string());
}

std::string pathArg(const fs::path &path)
{
    return path.string();
}

cli::Arguments concat(cli::Arguments first, const cli::Arguments &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace voriraz::test
