// ToolRunner.h --- runs the built tarvoctl in its own process with a temporary data folder.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarvo::tools::testing {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-tool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }

    // Runs tarvoctl with stdin from /dev/null, so nothing can be asked.
    ToolResult Run(const std::vector<std::string>& args) {
        std::string outPath = m_home + "/stdout.txt";
        std::string errPath = m_home + "/stderr.txt";
        pid_t pid = fork();
        if (pid == 0) {
            int in = open("/dev/null", O_RDONLY);
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            std::string program = std::string(TARVO_BINARY_DIR) + "/bin/tarvoctl";
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ToolResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        return result;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_home;
};

}  // namespace tarvo::tools::testing
