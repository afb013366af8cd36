// NtfsExternalCheck.cpp --- running the ntfs-3g tools on a volume and reading their verdicts.
#include "platform/ntfs/NtfsExternalCheck.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace tarvo::platform {

std::string FindProgram(const std::string& name) {
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return "";
}

int RunCapturing(const std::vector<std::string>& argv, std::string& output) {
    output.clear();
    std::string program = FindProgram(argv.at(0));
    if (program.empty()) {
        return -1;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof(buffer))) != 0) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunExternalNtfsChecks(const std::string& path, std::string& report) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        return true;  // an in-memory volume: nothing for the tools to read
    }
    bool clean = true;
    std::string output;
    if (FindProgram("ntfsresize").empty()) {
        report += "ntfsresize: not installed, not run.\n";
    } else {
        int rc = RunCapturing({"ntfsresize", "-i", "-f", path}, output);
        bool ok = rc == 0 && output.find("ERROR") == std::string::npos;
        report += ok ? "ntfsresize -i -f: cluster accounting clean.\n"
                     : "ntfsresize -i -f: found faults:\n" + output;
        clean = clean && ok;
    }
    if (FindProgram("ntfsfix").empty()) {
        report += "ntfsfix: not installed, not run.\n";
    } else {
        int rc = RunCapturing({"ntfsfix", "-n", path}, output);
        bool ok = rc == 0;
        report += ok ? "ntfsfix -n: clean.\n" : "ntfsfix -n: found faults:\n" + output;
        clean = clean && ok;
    }
    return clean;
}

}  // namespace tarvo::platform
