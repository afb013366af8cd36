// SelfTest.cpp --- the self-test's steps, polled from a timer on the UI thread.
#include "ui/SelfTest.h"

#include <wx/dcscreen.h>
#include <wx/dcmemory.h>
#include <wx/uiaction.h>

#include <cstdio>

#include "control/OrdexDoc.h"
#include "ui/DriveTreePane.h"
#include "ui/MainFrame.h"
#include "ui/MapView.h"

namespace tarvo::ui {

namespace {
constexpr int kTickMs = 50;
constexpr int kStepTicks = 1200;  // one minute per step at most
}  // namespace

CSelfTest::CSelfTest(CMainFrame& frame, const WindowedOptions& options)
    : m_frame(frame), m_options(options), m_timer(this) {
    BuildSteps();
    Bind(wxEVT_TIMER, &CSelfTest::OnTick, this);
    m_timer.Start(kTickMs);
}

void CSelfTest::Fail(const std::string& what) {
    ++m_failed;
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
}

void CSelfTest::BuildSteps() {
    const char drive = m_options.selfTestDrive;
    auto doc = [this] { return m_frame.Document(); };
    auto key = [this](int code, int modifiers = wxMOD_NONE) {
        m_frame.Raise();
        m_frame.Tree().SetFocus();
        wxYield();
        wxUIActionSimulator sim;
        // Without a window manager the keyboard follows the pointer: put it over the tree.
        sim.MouseMove(m_frame.Tree().GetScreenRect().GetPosition() + wxPoint(20, 40));
        wxYield();
        sim.Char(code, modifiers);
    };
    auto idle = [doc] { return doc() && !doc()->WorkerRunning(); };
    m_steps = {
        {"the window shows Ready and the drive is listed", [this] { return m_frame.IsShown(); },
         [this, drive] { return m_frame.Tree().ItemOf(drive).IsOk() && m_frame.PaneText(0) == "Ready"; }, {}},
        {"picking the drive analyses it", idle,
         [doc, drive] { return doc()->Job() && doc()->Job()->m_drive == std::string(1, drive); },
         [this, drive] { m_frame.Tree().SelectDrive(drive); }},
        {"F9 analyses again and the map shows clusters per block", idle,
         [this, doc] {
             return doc()->RunningMode() == control::kModeAnalysis && m_frame.View().ClustersPerBlock() > 0 &&
                    !m_frame.HasProgressBar();
         },
         [key] { key(WXK_F9); }},
        {"F11 starts COMPLETE and the gauge appears", [this, doc] {
             return doc()->RunningMode() == control::kModeComplete && (m_frame.HasProgressBar() || !doc()->WorkerRunning());
         },
         [] { return true; }, [key] { key(WXK_F11); }},
        {"COMPLETE runs to its end", idle,
         [this] { return !m_frame.HasProgressBar() && m_frame.PaneText(2).find("frag. file(s)") != std::string::npos; },
         {}},
        {"the screenshot is saved", [] { return true; },
         [this] { return m_options.screenshot.empty() || Screenshot(m_options.screenshot); }, {}},
    };
}

void CSelfTest::OnTick(wxTimerEvent&) {
    if (m_current >= m_steps.size()) return Finish();
    Step& step = m_steps[m_current];
    if (!m_started) {
        m_started = true;
        m_ticks = 0;
        if (step.action) step.action();
        return;
    }
    if (!step.ready() && ++m_ticks < kStepTicks) return;
    const bool ok = m_ticks < kStepTicks && step.check();
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", step.name.c_str());
    std::fflush(stdout);
    ok ? ++m_passed : ++m_failed;
    m_started = false;
    ++m_current;
}

bool CSelfTest::Screenshot(const std::string& path) {
    m_frame.Update();
    const wxRect rect = m_frame.GetScreenRect();
    wxScreenDC screen;
    wxBitmap bitmap(rect.width, rect.height);
    wxMemoryDC memory(bitmap);
    memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
    memory.SelectObject(wxNullBitmap);
    return bitmap.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
}

void CSelfTest::Finish() {
    m_timer.Stop();
    std::printf("%d passed, %d failed\n", m_passed, m_failed);
    std::fflush(stdout);
    m_frame.Close(true);
}

}  // namespace tarvo::ui
