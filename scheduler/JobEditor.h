// JobEditor.h --- what the job editor holds and how its controls depend on each other, without a window.
//
// The dialog mirrors this state in its controls; choosing a method, a logging
// state or an occurrence goes through the Choose calls so that the enabled
// states follow, and OK goes through Confirm.
#pragma once

#include <array>
#include <ctime>
#include <string>

#include "scheduler/Job.h"

namespace tarvo::scheduler {

enum class EditorMode { Add, Change };
enum class TimeField { Hour, Minute };

// The days list: indexes 0..6 Monday..Sunday, 7..37 the days 1..31.
inline constexpr int kDayEntryCount = 38;
// The list index of a day code (n < 40: n + 7; 40..46: n - 40); -1 for other codes.
int DayIndexOfCode(int16_t code);
int16_t DayCodeOfIndex(int index);
// The text of a days-list entry.
std::string DayEntryText(int index);

// One spin step on a time field's text: +1 or -1, wrapping within 0..max; a
// text that holds no number counts as 0. Answers the new text ("%02d").
std::string StepTimeText(const std::string& text, int delta, int max);

struct JobEditorState {
    int16_t method = MethodSpace;
    int sortIndex = SortBySettings;  // entry of the sort list
    bool loggingEnabled = false;
    int logLevelIndex = -1;  // entry of the level list, -1 none
    int16_t occurrence = OccurrenceNone;
    std::array<bool, kDayEntryCount> days{};
    std::string hourText = "00";
    std::string minuteText = "00";
};

class CJobEditor {
public:
    // Add mode starts empty (time 00:00, SPACE, no occurrence, no logging);
    // change mode starts from the job's values.
    CJobEditor(EditorMode mode, const Job& job);

    EditorMode Mode() const { return m_mode; }
    const std::string& Title() const { return m_title; }
    JobEditorState& State() { return m_state; }
    const JobEditorState& State() const { return m_state; }
    // The job as confirmed (valid after Confirm answered "").
    const Job& Result() const { return m_job; }

    void ChooseMethod(int16_t method) { m_state.method = method; }
    // Enabling selects the first level when none is selected.
    void ChooseLogging(bool enabled);
    void ChooseOccurrence(int16_t occurrence) { m_state.occurrence = occurrence; }
    void Spin(TimeField field, int delta);

    bool SortEnabled() const { return m_state.method == MethodComplete; }
    bool LogLevelEnabled() const { return m_state.loggingEnabled; }
    bool DaysEnabled() const { return m_state.occurrence == Every || m_state.occurrence == Next; }

    // OK: the range checks of the time fields, then the job checks against
    // `now`. Answers the message to show (the editor stays open) or "" when
    // the job took the values.
    std::string Confirm(time_t now);

private:
    EditorMode m_mode;
    Job m_job;
    JobEditorState m_state;
    std::string m_title;
};

}  // namespace tarvo::scheduler
