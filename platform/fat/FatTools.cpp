// FatTools.cpp --- posix_spawn of the FAT tools with their output collected through a temporary file.
#include "platform/fat/FatTools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tarvo::platform {

int RunTool(const std::vector<std::string>& argv, std::string& output) {
    output.clear();
    if (argv.empty()) {
        return 127;
    }
    char name[] = "/tmp/tarvo-tool-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0) {
        output = std::string("cannot create a temporary file: ") + std::strerror(errno);
        return 127;
    }
    ::unlink(name);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "MTOOLS_SKIP_CHECK=", 18) != 0) {
            env.emplace_back(*e);
        }
    }
    env.emplace_back("MTOOLS_SKIP_CHECK=1");
    std::vector<char*> envp, args;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> copy = argv;
    std::string program = FindTool(argv[0]);
    if (program.empty()) {
        ::close(fd);
        output = argv[0] + " is not installed";
        return 127;
    }
    for (auto& a : copy) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ::close(fd);
        output = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return 127;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}

std::string FindTool(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    dirs += ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) {
            return dir + "/" + program;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return {};
}

bool ToolAvailable(const std::string& program) { return !FindTool(program).empty(); }

}  // namespace tarvo::platform
