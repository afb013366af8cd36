// SchedulerWindowTest.cpp --- starts TarvoScDef --self-test under the display of xvfb-run, on simulated
// drives and jobs of a real Schedule service, and checks what it printed and what the service holds
// afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/SystemIntegration.h"
#include "platform/process/PathResolver.h"
#include "scheduler/ScheduleConnection.h"
#include "scheduler/SchedulerTexts.h"
#include "tests/scheduler/windows/WindowsTestSupport.h"

using namespace tarvo::platform;
using namespace tarvo::scheduler;

namespace {

struct RunResult {
    int status = -1;
    std::string output;
    std::vector<std::string> tree;  // the "tree:" lines, without the prefix
};

class SchedulerWindowTest : public SchedulerWindowsTest {
protected:
    // Maps the letter to a simulated volume file, so that the program's own process sees it.
    void MapSimFile(char letter, SimFileSystem fs, UINT type = DRIVE_FIXED) {
        SimVolumeShape shape;
        shape.fileSystem = fs;
        shape.totalClusters = 4096;
        shape.driveType = type;
        std::string error;
        auto volume = SimVolume::Create(shape, error);
        ASSERT_TRUE(volume) << error;
        const std::string path = m_root + "/" + letter + ".sim";
        ASSERT_TRUE(volume->SaveAs(path, error)) << error;
        ASSERT_TRUE(MapDrive(letter, path, error)) << error;
    }
    // The service answers no question: interactive, automatic and running.
    void PrepareService() {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS);
        ASSERT_TRUE(ChangeServiceConfigA(service, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                                         SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr));
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        ASSERT_TRUE(StartService());
    }
    void AddServiceJob(const std::string& command) {
        std::u16string wide = ToWide(command);
        AT_INFO info{TimeOfDayMs(3600), 0, 1, JOB_RUN_PERIODICALLY, wide.data()};  // every Monday
        DWORD id = 0;
        ASSERT_EQ(NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id), NERR_Success);
    }
    static RunResult Run(const std::string& options = {}) {
        RunResult result;
        const std::string command = TARVO_BINARY_DIR "/bin/TarvoScDef --self-test " + options + " 2>&1";
        FILE* child = ::popen(command.c_str(), "r");
        if (child == nullptr)
            return result;
        char line[2048];
        while (std::fgets(line, sizeof line, child) != nullptr) {
            result.output += line;
            std::string text(line);
            if (text.rfind("tree: ", 0) == 0)
                result.tree.push_back(text.substr(6, text.size() - 7));
        }
        const int status = ::pclose(child);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }
};

}  // namespace

TEST_F(SchedulerWindowTest, WindowShowsDrivesAndJobsAndRunsTheJobCommands) {
    MapSimFile('A', SimFileSystem::Fat);
    MapSimFile('C', SimFileSystem::Ntfs);
    MapSimFile('D', SimFileSystem::Fat32);
    MapSimFile('E', SimFileSystem::Fat, DRIVE_REMOVABLE);
    PrepareService();
    AddServiceJob("C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /SORT:NAME /LOG:2");
    AddServiceJob("C:\\TOOLS\\TARVODEFRAG /SPACE:ALL");
    AddServiceJob("C:\\TOOLS\\TARVODEFRAG /SPACE:B");
    AddServiceJob("C:\\WINNT\\NOTEPAD.EXE");

    // A picture of the main window lands beside the test programs, for a look by eye.
    const std::string pictures = TARVO_BINARY_DIR "/tests";
    std::filesystem::remove(pictures + "/scheduler-main.png");
    const RunResult run = Run("--shots " + pictures);
    std::printf("%s", run.output.c_str());
    EXPECT_GT(std::filesystem::file_size(pictures + "/scheduler-main.png"), 1000u);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find(" passed, 0 failed"), std::string::npos);
    EXPECT_EQ(run.output.find("FAIL"), std::string::npos);
    // A, B and the removable E stay out; the B job is not shown.
    EXPECT_EQ(run.tree, (std::vector<std::string>{
                            "My Computer|0",
                            "  Every Monday at 13:00h|2",
                            "  C:\\    (NTFS)|1",
                            "  D:\\    (FAT32)|1",
                            "    Every Monday at 13:00h (LogLevel = 2)|3",
                        }));
    // The job the self-test added went again; the others stay, the other program's too.
    EXPECT_EQ(ServiceCommands(),
              (std::vector<std::string>{"C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /SORT:NAME /LOG:2",
                                        "C:\\TOOLS\\TARVODEFRAG /SPACE:ALL",
                                        "C:\\TOOLS\\TARVODEFRAG /SPACE:B", "C:\\WINNT\\NOTEPAD.EXE"}));
}

TEST_F(SchedulerWindowTest, WithoutTheDefragmenterItSaysSoAndEnds) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, tarvo::scheduler::kDefragmenterAppPathKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
    const RunResult run = Run();
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(std::string("dialog: ") + tarvo::scheduler::kNotInstalledTitle + ": " +
                              tarvo::scheduler::kNotInstalledText),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(run.tree.empty());
}

TEST_F(SchedulerWindowTest,
       TheDefragmentersSchedulingCommandStartsThisProgramAndItsJobsStartTheDefragmenter) {
    const std::string bin = TARVO_BINARY_DIR "/bin";
    ASSERT_TRUE(tarvo::app::RegisterApplicationPath(bin));
    // The Scheduling command starts the scheduler path; it resolves to this program in the same folder.
    const auto scheduler = ResolveProgramPath(tarvo::app::SchedulerPath());
    ASSERT_TRUE(scheduler.has_value());
    EXPECT_EQ(std::filesystem::path(*scheduler).filename(), "TarvoScDef");
    const auto defragmenter = ResolveProgramPath(tarvo::scheduler::DefragmenterPath());
    ASSERT_TRUE(defragmenter.has_value());
    EXPECT_EQ(std::filesystem::path(*defragmenter).filename(), "TarvoDefrag");
}

TEST_F(SchedulerWindowTest, StoppedServiceIsConfiguredAndStartedWhenTheUserAgreesThenTheWindowOpens) {
    MapSimFile('C', SimFileSystem::Ntfs);
    ASSERT_TRUE(StartService());
    AddServiceJob("C:\\TOOLS\\TARVODEFRAG /SPACE:C");
    ASSERT_TRUE(StopService());

    const RunResult run = Run();  // the self-test answers every question with its first button
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* question : {kNotInteractiveText, kNotAutomaticText, kNotStartedText}) {
        EXPECT_NE(run.output.find(std::string("dialog: Tarvo Defrag: ") + question), std::string::npos)
            << run.output;
    }
    EXPECT_EQ(run.tree, (std::vector<std::string>{"My Computer|0", "  C:\\    (NTFS)|1",
                                                  "    Every Monday at 13:00h|2"}));
    EXPECT_NE(run.output.find(" passed, 0 failed"), std::string::npos) << run.output;
}

TEST_F(SchedulerWindowTest, WithoutADisplayItSaysSoAndFails) {
    FILE* child = ::popen("env -u DISPLAY -u WAYLAND_DISPLAY " TARVO_BINARY_DIR "/bin/TarvoScDef 2>&1", "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, child) != nullptr) output += line;
    const int status = ::pclose(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output;
    EXPECT_NE(output.find("TarvoScDef: no display"), std::string::npos) << output;
}
