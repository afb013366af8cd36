// WindowsTestSupport.h --- a private TARVO_HOME with an installed defragmenter, simulated drives and a
// Schedule service.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "platform/services/NetSchedule.h"
#include "platform/sim/SimVolume.h"
#include "scheduler/JobCommand.h"
#include "scheduler/Prompt.h"
#include "scheduler/TreeControl.h"
#include "tests/platform/services/ServiceTestSupport.h"

// Answers questions from a script (then the cautious answer) and records them.
class ScriptedPrompt : public tarvo::scheduler::CPrompt {
public:
    using PromptAnswer = tarvo::scheduler::PromptAnswer;
    explicit ScriptedPrompt(std::deque<PromptAnswer> answers = {}) : m_answers(std::move(answers)) {}
    PromptAnswer Ask(const std::string& text, tarvo::scheduler::PromptButtons buttons,
                     tarvo::scheduler::PromptIcon) override {
        asked.push_back(text);
        const bool yesNo = buttons == tarvo::scheduler::PromptButtons::YesNo ||
                           buttons == tarvo::scheduler::PromptButtons::YesNoDefaultNo;
        if (m_answers.empty())
            return yesNo ? PromptAnswer::No : PromptAnswer::Cancel;
        PromptAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void Then(PromptAnswer answer) { m_answers.push_back(answer); }
    std::vector<std::string> asked;

private:
    std::deque<PromptAnswer> m_answers;
};

class SchedulerWindowsTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        tarvo::platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
        using namespace tarvo::platform;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, tarvo::scheduler::kDefragmenterAppPathKey, 0, nullptr,
                                  0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string path = "C:\\TOOLS\\TarvoDefrag.exe";
        RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), path.size() + 1);
        RegCloseKey(key);
    }
    void TearDown() override {
        for (char letter : m_mapped) tarvo::platform::UnmapTestDrive(letter);
        ServiceTest::TearDown();
    }
    // Serves the letter from a small simulated volume of that type.
    void MapSimDrive(char letter, tarvo::platform::UINT type = tarvo::platform::DRIVE_FIXED,
                     tarvo::platform::SimFileSystem fs = tarvo::platform::SimFileSystem::Ntfs) {
        tarvo::platform::SimVolumeShape shape;
        shape.fileSystem = fs;
        shape.totalClusters = 4096;
        shape.driveType = type;
        std::string error;
        auto volume = tarvo::platform::SimVolume::Create(shape, error);
        ASSERT_TRUE(volume) << error;
        tarvo::platform::MapDriveToBackend(letter, volume);
        m_mapped.push_back(letter);
    }
    // Stops the service through the service manager, so that every job call fails.
    bool StopService() {
        using namespace tarvo::platform;
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS);
        SERVICE_STATUS status{};
        bool ok = ControlService(service, SERVICE_CONTROL_STOP, &status) && WaitFor([&] {
                      return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
                  });
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return ok;
    }
    // The commands of the service's jobs, in order.
    static std::vector<std::string> ServiceCommands() {
        using namespace tarvo::platform;
        std::vector<std::string> commands;
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        if (NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr) ==
            NERR_Success) {
            auto* entries = reinterpret_cast<AT_ENUM*>(buffer);
            for (DWORD i = 0; i < read; ++i) commands.push_back(FromWide(entries[i].Command));
        }
        NetApiBufferFree(buffer);
        return commands;
    }
    // Every item below the root, depth first, as "text|image|data" lines with two blanks per level.
    static std::vector<std::string> Outline(const tarvo::scheduler::CTreeControl& tree) {
        std::vector<std::string> lines;
        Walk(tree, tree.RootItem(), 0, lines);
        return lines;
    }
    // The data of every job item, depth first.
    static std::vector<uint32_t> JobKeys(const tarvo::scheduler::CTreeControl& tree) {
        std::vector<uint32_t> keys;
        for (const std::string& line : Outline(tree)) {
            const uint32_t data = std::stoul(line.substr(line.rfind('|') + 1));
            if (data >= 1000)
                keys.push_back(data);
        }
        return keys;
    }

    std::vector<char> m_mapped;

private:
    static void Walk(const tarvo::scheduler::CTreeControl& tree, tarvo::scheduler::TreeItem item, int depth,
                     std::vector<std::string>& lines) {
        if (item == tarvo::scheduler::kNoItem)
            return;
        lines.push_back(std::string(depth * 2, ' ') + tree.ItemText(item) + "|" +
                        std::to_string(tree.ItemImage(item)) + "|" + std::to_string(tree.ItemData(item)));
        for (auto child = tree.FirstChild(item); child != tarvo::scheduler::kNoItem;
             child = tree.NextSibling(child)) {
            Walk(tree, child, depth + 1, lines);
        }
    }
};
