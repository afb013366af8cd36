// ProgramRun.h --- runs the built programs as real processes with a private TARVO_HOME.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace tarvo::e2e {

// A built program by name, or any program by absolute path.
inline std::string BinPath(const std::string& program) {
    if (!program.empty() && program[0] == '/') return program;
    return std::string(TARVO_BINARY_DIR) + "/bin/" + program;
}

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal
    std::string output;  // standard output and standard error together
};

// A started program whose output goes to a file that can be read while it runs.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile)
        : m_outputFile(outputFile) {
        std::vector<std::string> words{BinPath(program)};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        // The child unblocks nothing itself: start it with an empty signal mask.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        if (posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    ~RunningProgram() {
        if (m_pid > 0 && !m_waited) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }

    pid_t Pid() const { return m_pid; }
    std::string Output() const {
        std::string text;
        if (FILE* f = std::fopen(m_outputFile.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
            std::fclose(f);
        }
        return text;
    }
    ProgramResult Wait() {
        int raw = 0;
        if (m_pid > 0) waitpid(m_pid, &raw, 0);
        m_waited = true;
        ProgramResult result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        result.output = Output();
        return result;
    }

private:
    pid_t m_pid = -1;
    bool m_waited = false;
    std::string m_outputFile;
};

// A private TARVO_HOME (for this process and the programs it starts) and a folder for files.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
        // tarvoctl install puts its desktop entry here, never in the user's own folders.
        setenv("XDG_DATA_HOME", (m_home + "/share").c_str(), 1);
        unsetenv("DISPLAY");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
        unsetenv("TARVO_HOME");
        unsetenv("XDG_DATA_HOME");
    }

    ProgramResult Run(const std::string& program, const std::vector<std::string>& args) {
        RunningProgram running(program, args, m_home + "/output-" + std::to_string(++m_runs) + ".txt");
        return running.Wait();
    }

    // A simulated volume file mapped to a drive letter.
    void MapSim(const std::string& letter, const std::string& fs, int clusters, int files, int seed = 1) {
        const std::string file = m_home + "/" + letter + ".sim";
        ProgramResult made = Run("tarvoctl", {"vol", "mksim", file, "--fs", fs, "--clusters", std::to_string(clusters),
                                              "--cluster-size", "4096", "--files", std::to_string(files), "--seed",
                                              std::to_string(seed)});
        ASSERT_EQ(made.status, 0) << made.output;
        ProgramResult mapped = Run("tarvoctl", {"drive", "map", letter + ":", file});
        ASSERT_EQ(mapped.status, 0) << mapped.output;
    }

    std::string m_home;
    int m_runs = 0;
};

}  // namespace tarvo::e2e
