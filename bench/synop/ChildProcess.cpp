#include "ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {
namespace {

// Starts arguments[0] (looked up on PATH when it has no '/') with the given
// file actions; false when it could not be started.
bool spawn(const std::vector<std::string>& arguments, posix_spawn_file_actions_t& actions, pid_t& pid)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return spawned;
}

// Its exit status and the CPU time the kernel counted for it.
Child waitFor(pid_t pid)
{
    rusage usage{};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    Child child;
    child.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    child.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    return child;
}

}  // namespace

Child run(const std::vector<std::string>& arguments, const std::string& outputPath, const std::string& errorPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeEnds[2] = {-1, -1};
    if (outputPath.empty()) {
        if (pipe(pipeEnds) != 0) return {};
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const bool spawned = spawn(arguments, actions, pid);
    if (pipeEnds[1] >= 0) {
        close(pipeEnds[1]);
        static char sink[1 << 16];
        while (spawned && read(pipeEnds[0], sink, sizeof sink) > 0) {
        }
        close(pipeEnds[0]);
    }
    return spawned ? waitFor(pid) : Child{};
}

Child runFedByLines(const std::vector<std::string>& arguments, std::string_view text, int linesPerPause, int pauseMicros,
                    const std::string& outputPath)
{
    // A tool that stops reading ends the feeding, not this process.
    std::signal(SIGPIPE, SIG_IGN);
    int input[2] = {-1, -1};
    if (pipe(input) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[0]);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool spawned = spawn(arguments, actions, pid);
    close(input[0]);
    int lines = 0;
    for (size_t at = 0; spawned && at < text.size();) {
        size_t end = pauseMicros > 0 ? text.find('\n', at) : std::string_view::npos;
        end = end == std::string_view::npos ? text.size() : end + 1;
        for (size_t written = at; written < end;) {
            const ssize_t n = write(input[1], text.data() + written, end - written);
            if (n <= 0) break;
            written += static_cast<size_t>(n);
        }
        at = end;
        if (++lines % linesPerPause == 0) usleep(static_cast<useconds_t>(pauseMicros));
    }
    close(input[1]);
    return spawned ? waitFor(pid) : Child{};
}

long countLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    long lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace bench
