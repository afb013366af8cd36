// ProcessTest.cpp --- starting, waiting for and ending processes; named mutexes; priorities.
#include "platform/process/Process.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <thread>

#include "platform/process/Mutex.h"
#include "platform/process/Priority.h"
#include "tests/platform/process/ProcessTestSupport.h"

using namespace tarvo::platform;

class Processes : public TempHomeTest {};

TEST_F(Processes, StartsAWindowsCommandLineWithItsArguments) {
    WriteRecorder(m_root + "/My Tools/Rec", m_root + "/args");
    std::string line = m_root + "/MY TOOLS/REC.EXE /COMPLETE:D \"two words\" a\\\\\"b\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                               nullptr, nullptr, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_EQ(Read(m_root + "/args"), "/COMPLETE:D\ntwo words\na\\b\n");
}

TEST_F(Processes, PassesTheEnvironmentBlockAndFolder) {
    std::filesystem::create_directories(m_root + "/work");
    std::ofstream(m_root + "/env.sh") << "#!/bin/sh\necho \"$MARK $(pwd)\" > '" << m_root << "/out'\n";
    ::chmod((m_root + "/env.sh").c_str(), 0755);
    std::string block = MakeEnvironmentBlock({"MARK=yes", "PATH=/usr/bin:/bin"});
    std::string line = m_root + "/ENV.SH";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, block.data(),
                               (m_root + "/WORK").c_str(), nullptr, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(Read(m_root + "/out"), "yes " + m_root + "/work\n");
}

TEST_F(Processes, MissingProgramFailsWithFileNotFound) {
    std::string line = m_root + "\\NOPE.EXE /SPACE:C";
    PROCESS_INFORMATION pi{};
    EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Processes, TerminateEndsARunningChildWithTheGivenCode) {
    std::string line = "sleep 30";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 7));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));  // already ended
    CloseHandle(pi.hProcess);
    EXPECT_FALSE(CloseHandle(pi.hProcess));
}

TEST_F(Processes, IdlePriorityClassLowersTheChild) {
    std::ofstream(m_root + "/nice.sh") << "#!/bin/sh\nnice > '" << m_root << "/nice'\n";
    ::chmod((m_root + "/nice.sh").c_str(), 0755);
    // The class is applied right after the start; a child that outlives that moment shows it.
    std::ofstream(m_root + "/slow.sh") << "#!/bin/sh\nsleep 0.3\nexec '" << m_root << "/nice.sh'\n";
    ::chmod((m_root + "/slow.sh").c_str(), 0755);
    std::string line = m_root + "/slow.sh";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                               nullptr, nullptr, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(Read(m_root + "/nice"), "19\n");
}

TEST_F(Processes, NamedMutexReportsAnotherHolderAcrossProcesses) {
    HANDLE first = CreateMutexA(nullptr, FALSE, "Tarvo Defrag Class");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE second = CreateMutexA(nullptr, FALSE, "Tarvo Defrag Class");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    // Another process sees the mutex as long as we hold it, and not after.
    auto probe = [&] {
        pid_t pid = ::fork();
        if (pid == 0) {
            HANDLE h = CreateMutexA(nullptr, FALSE, "Tarvo Defrag Class");
            ::_exit(h != nullptr && GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WEXITSTATUS(status) == 1;
    };
    EXPECT_TRUE(probe());
    CloseHandle(first);
    EXPECT_FALSE(probe());
}

TEST_F(Processes, MutexOwnershipExcludesOtherHandlesUntilReleased) {
    HANDLE a = CreateMutexA(nullptr, TRUE, "own");
    HANDLE b = CreateMutexA(nullptr, FALSE, "own");
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(b));
    EXPECT_TRUE(ReleaseMutex(a));
    EXPECT_EQ(WaitForSingleObject(b, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    CloseHandle(b);  // closing an owning handle gives the mutex up
    EXPECT_EQ(WaitForSingleObject(a, 1000), WAIT_OBJECT_0);
    CloseHandle(a);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, ""), nullptr);
}

TEST_F(Processes, ThreadPriorityLowersOnlyTheCallingThread) {
    int workerNice = 0;
    std::thread worker([&] {
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST));
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_LOWEST);
        workerNice = ::getpriority(PRIO_PROCESS, 0);
    });
    worker.join();
    EXPECT_EQ(workerNice, ::getpriority(PRIO_PROCESS, 0) + 4);
    EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 42));
}
