// ScheduleRunSupport.h --- a private home with a moved Schedule clock, a scripted prompt, and the
// readings of the built programs that judge a scheduled run.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/services/ServiceClock.h"
#include "platform/services/ServiceManager.h"
#include "platform/services/ServiceRuntime.h"
#include "scheduler/Prompt.h"
#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {

// Answers the job list's questions from a script and records what was asked.
class ScriptedPrompt : public scheduler::CPrompt {
public:
    explicit ScriptedPrompt(std::deque<scheduler::PromptAnswer> answers) : m_answers(std::move(answers)) {}
    scheduler::PromptAnswer Ask(const std::string& text, scheduler::PromptButtons, scheduler::PromptIcon) override {
        asked.push_back(text);
        if (m_answers.empty()) return scheduler::PromptAnswer::Cancel;
        scheduler::PromptAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::vector<std::string> asked;

private:
    std::deque<scheduler::PromptAnswer> m_answers;
};

class ScheduleRunTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        unsetenv("TARVO_CLOCK_FREEZE");
        unsetenv("TARVO_CLOCK_OFFSET");
    }
    // The service always goes, even when the test failed half-way.
    void TearDown() override {
        StopService();
        unsetenv("TARVO_CLOCK_OFFSET");
        ProgramTest::TearDown();
    }

    void StopService() {
        using namespace tarvo::platform;
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = manager ? OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS) : nullptr;
        SERVICE_STATUS status{};
        if (service != nullptr && ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            WaitUntil([] { return ReadServiceRuntime("Schedule").state == SERVICE_STOPPED; },
                      std::chrono::seconds(10));
        }
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
        auto left = ReadServiceRuntime("Schedule");
        if (left.state != SERVICE_STOPPED && left.pid > 0) ::kill(left.pid, SIGKILL);
    }

    // Moves the Schedule clock (for this process and the service it starts)
    // to today at 11:59:<second> local time.
    static void MoveClockBeforeNoon(int second) {
        time_t real = std::time(nullptr);
        tm target{};
        localtime_r(&real, &target);
        target.tm_hour = 11;
        target.tm_min = 59;
        target.tm_sec = second;
        target.tm_isdst = -1;
        setenv("TARVO_CLOCK_OFFSET", std::to_string(mktime(&target) - real).c_str(), 1);
    }

    template <typename F>
    static bool WaitUntil(F condition, std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return condition();
    }

    // Polls the event log until a line holds every needle; answers the last reading.
    std::string WaitForEvent(const std::vector<std::string>& needles, std::chrono::seconds limit) {
        std::string log;
        WaitUntil(
            [&] {
                log = Run("tarvoctl", {"eventlog"}).output;
                for (const auto& needle : needles) {
                    if (LineWith(log, needle).empty()) return false;
                }
                return true;
            },
            limit);
        return log;
    }

    int FragmentedFiles(const std::string& drive) {
        ProgramResult report = Run("tarvoctl", {"vol", "report", drive, "--json"});
        std::smatch match;
        if (report.status != 0 || !std::regex_search(report.output, match, std::regex(R"("fragmented_files": (\d+))")))
            return -1;
        return std::stoi(match[1]);
    }

    std::string ServiceLog() const {
        std::ifstream in(m_home + "/run/Schedule.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The first line of the text that contains the needle, or "".
    static std::string LineWith(const std::string& text, const std::string& needle) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (line.find(needle) != std::string::npos) return line;
        }
        return {};
    }

    // "h:mm AM" as the classic at list writes a time of day.
    static std::string TwelveHour(int hour, int minute) {
        char text[16];
        std::snprintf(text, sizeof text, "%d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                      hour < 12 ? "AM" : "PM");
        return text;
    }

    // Installs the programs under a folder whose name has a blank and mixed case,
    // as a user's "Program Files" would: the job's command names it upper-cased.
    std::string InstallPrograms() {
        const std::string folder = m_home + "/Tarvo Programs";
        std::filesystem::create_directory_symlink(std::string(TARVO_BINARY_DIR) + "/bin", folder);
        ProgramResult installed = Run("tarvoctl", {"install", "--bindir", folder});
        EXPECT_EQ(installed.status, 0) << installed.output;
        return folder;
    }
};

}  // namespace tarvo::e2e
