// ServiceTestSupport.h --- a temporary TARVO_HOME per test, a clock set to noon, and Schedule service helpers.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/services/ServiceRuntime.h"
#include "platform/services/ServiceClock.h"
#include "platform/services/ServiceManager.h"

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-svc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        setenv("TARVO_HOME", (m_root + "/home").c_str(), 1);
        setenv("TARVO_BIN_DIR", TARVO_BINARY_DIR "/bin", 1);
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        unsetenv("TARVO_CLOCK_FREEZE");
        // The service's clock reads today at 12:00:00 local time when the test starts.
        time_t real = std::time(nullptr);
        tm noon{};
        localtime_r(&real, &noon);
        noon.tm_hour = 12;
        noon.tm_min = 0;
        noon.tm_sec = 0;
        noon.tm_isdst = -1;
        setenv("TARVO_CLOCK_OFFSET", std::to_string(mktime(&noon) - real).c_str(), 1);
    }
    void TearDown() override {
        KillService();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
        unsetenv("TARVO_CLOCK_OFFSET");
        unsetenv("TARVO_CLOCK_FREEZE");
    }
    // Kills the service process this test started, if it runs.
    void KillService() {
        auto state = tarvo::platform::ReadServiceRuntime("Schedule");
        if (state.state != tarvo::platform::SERVICE_STOPPED && state.pid > 0) {
            ::kill(state.pid, SIGKILL);
            for (int i = 0; i < 500 && tarvo::platform::ReadServiceRuntime("Schedule").state !=
                                           tarvo::platform::SERVICE_STOPPED;
                 ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    // Starts the service through the service manager and waits until it runs.
    bool StartService() {
        using namespace tarvo::platform;
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS);
        bool ok = StartServiceA(service, 0, nullptr);
        SERVICE_STATUS status{};
        for (int i = 0; ok && i < 400 && QueryServiceStatus(service, &status) &&
                        status.dwCurrentState == SERVICE_START_PENDING;
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(status.dwWaitHint / 10 + 1));
        }
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return ok && status.dwCurrentState == SERVICE_RUNNING;
    }
    // Writes an executable script that appends its name and arguments to `log`.
    std::string WriteRecorder(const std::string& name, const std::string& log) {
        std::string path = m_root + "/" + name;
        std::ofstream(path) << "#!/bin/sh\necho \"" << name << " $* DISPLAY=$DISPLAY\" >> '" << log << "'\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Milliseconds after local midnight of the service clock's present time, plus `seconds`.
    static uint32_t TimeOfDayMs(int seconds) {
        time_t t = tarvo::platform::ScheduleNow() + seconds;
        tm local{};
        localtime_r(&t, &local);
        return static_cast<uint32_t>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000);
    }
    // Waits up to `ms` for a condition.
    template <typename F>
    static bool WaitFor(F condition, int ms = 10000) {
        for (int i = 0; i < ms / 10; ++i) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }
    std::string m_root;
};
