// SchedulerProgram.cpp --- the scheduling program's toolkit application.
#include "ui/scheduler/SchedulerProgram.h"

// clang-format off
#include "ui/NtFirst.h"  // before the toolkit's headers
// clang-format on

#include <wx/app.h>
#include <wx/init.h>

#include <memory>

#include "common/SelfTestReports.h"
#include "platform/registry/Registry.h"
#include "scheduler/JobCommand.h"
#include "scheduler/SchedulerTexts.h"
#include "ui/scheduler/MainFrame.h"
#include "ui/scheduler/MessageBoxPrompt.h"
#include "ui/scheduler/SchedulerSelfTest.h"

namespace tarvo::ui::scheduler {

namespace {

class CTarvoScDefApp : public wxApp {
public:
    explicit CTarvoScDefApp(const SchedulerOptions& options) : m_options(options) {}

    bool OnInit() override {
        // The profile is the defragmenter's own: "Tarvo" and its title.
        platform::SetRegistryKey(tarvo::scheduler::kRegistryRoot, tarvo::scheduler::kProgramTitle);
        if (tarvo::scheduler::DefragmenterPath().empty()) {
            ShowNotInstalled();
            m_status = kSchedulerNotInstalled;
            return false;
        }
        // The questions about the service come before the window: the self-test answers each with its first
        // button.
        if (m_options.selfTest)
            m_prompt.SetBeforeShow([](wxDialog& box) { CSchedulerSelfTest::CloseWhenShown(box); });
        m_doc = std::make_unique<CTarvoScheduleDoc>(m_prompt);
        if (!m_doc->OnNewDocument()) {
            m_status = kSchedulerNoJobList;
            return false;
        }
        auto* frame = new CMainFrame(*m_doc);
        m_prompt.SetParent(frame);
        m_prompt.SetBeforeShow({});
        frame->Show();
        if (m_options.selfTest)
            m_selfTest = std::make_unique<CSchedulerSelfTest>(*frame, m_doc->JobList(), m_options.shotFolder);
        return true;
    }
    int OnExit() override {
        m_selfTest.reset();
        return wxApp::OnExit();
    }
    int Status() const { return m_selfTest ? m_selfTest->ExitStatus() : m_status; }

private:
    void ShowNotInstalled() {
        wxGenericMessageDialog box(nullptr, tarvo::scheduler::kNotInstalledText,
                                   tarvo::scheduler::kNotInstalledTitle, wxOK | wxICON_ERROR);
        if (m_options.selfTest)
            CSchedulerSelfTest::CloseWhenShown(box);
        box.ShowModal();
    }

    SchedulerOptions m_options;
    CMessageBoxPrompt m_prompt;
    std::unique_ptr<CTarvoScheduleDoc> m_doc;
    std::unique_ptr<CSchedulerSelfTest> m_selfTest;
    int m_status = 0;
};

}  // namespace

int RunSchedulerProgram(int argc, char** argv, const SchedulerOptions& options) {
    if (options.selfTest)
        common::TakeToolkitReports();
    auto* app = new CTarvoScDefApp(options);
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv)) {
        wxEntryCleanup();
        return kSchedulerNoDisplay;
    }
    int status = 1;
    if (wxTheApp->CallOnInit()) {
        wxTheApp->OnRun();
    }
    status = app->Status();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}

}  // namespace tarvo::ui::scheduler
