// JobEditor.cpp --- the job editor's state, its enabling rules, the day mapping and the time fields.
#include "scheduler/JobEditor.h"

#include <cstdio>
#include <cstdlib>

#include "scheduler/JobText.h"
#include "scheduler/SchedulerTexts.h"

namespace tarvo::scheduler {

namespace {

constexpr int kWeekDays = 7;

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string EditorTitle(EditorMode mode, int16_t drive) {
    if (drive == 0)
        return mode == EditorMode::Add ? kAddAllTitle : kChangeAllTitle;
    char title[96];
    const std::string letter(1, static_cast<char>('A' + drive));
    std::snprintf(title, sizeof title, mode == EditorMode::Add ? kAddDriveTitle : kChangeDriveTitle,
                  letter.c_str());
    return title;
}

// Reads a whole-number field as the dialog framework does; false with the message.
bool ReadTimeField(const std::string& text, int max, uint16_t& value, std::string& message) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    while (end && *end == ' ') ++end;
    if (text.empty() || end == text.c_str() || *end != '\0') {
        message = kNotIntegerText;
        return false;
    }
    if (number < 0 || number > max) {
        char range[64];
        std::snprintf(range, sizeof range, kIntegerRangeFormat, 0, max);
        message = range;
        return false;
    }
    value = static_cast<uint16_t>(number);
    return true;
}

}  // namespace

int DayIndexOfCode(int16_t code) {
    if (code >= 0 && code < kFirstWeekDayCode)
        return code <= 30 ? code + kWeekDays : -1;
    if (code >= kFirstWeekDayCode && code < kFirstWeekDayCode + kWeekDays)
        return code - kFirstWeekDayCode;
    return -1;
}

int16_t DayCodeOfIndex(int index) {
    return static_cast<int16_t>(index < kWeekDays ? kFirstWeekDayCode + index : index - kWeekDays);
}

std::string DayEntryText(int index) {
    return index < kWeekDays ? kWeekDayEntries[index] : std::to_string(index - kWeekDays + 1);
}

std::string StepTimeText(const std::string& text, int delta, int max) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str())
        value = 0;
    value += delta;
    if (value > max)
        value = 0;
    if (value < 0)
        value = max;
    return TwoDigits(static_cast<int>(value));
}

CJobEditor::CJobEditor(EditorMode mode, const Job& job)
    : m_mode(mode), m_job(job), m_title(EditorTitle(mode, job.drive)) {
    if (mode == EditorMode::Add)
        return;
    m_state.method = job.method == MethodComplete ? MethodComplete : MethodSpace;
    m_state.sortIndex = job.sort;
    m_state.loggingEnabled = job.logging;
    m_state.logLevelIndex = job.logging ? job.logLevel - 1 : -1;
    m_state.occurrence = job.occurrence;
    for (int16_t code : job.days) {
        if (const int index = DayIndexOfCode(code); index >= 0)
            m_state.days[index] = true;
    }
    m_state.hourText = TwoDigits(job.hour);
    m_state.minuteText = TwoDigits(job.minute);
}

void CJobEditor::ChooseLogging(bool enabled) {
    m_state.loggingEnabled = enabled;
    if (enabled && m_state.logLevelIndex < 0)
        m_state.logLevelIndex = 0;
}

void CJobEditor::Spin(TimeField field, int delta) {
    std::string& text = field == TimeField::Hour ? m_state.hourText : m_state.minuteText;
    text = StepTimeText(text, delta, field == TimeField::Hour ? 23 : 59);
}

std::string CJobEditor::Confirm(time_t now) {
    EditorValues values;
    std::string message;
    if (!ReadTimeField(m_state.hourText, 23, values.hour, message) ||
        !ReadTimeField(m_state.minuteText, 59, values.minute, message)) {
        return message;
    }
    values.method = m_state.method;
    values.occurrence = m_state.occurrence;
    // Weekdays first, then the days of the month, as the list shows them.
    for (int index = 0; index < kDayEntryCount; ++index) {
        if (m_state.days[index])
            values.days.push_back(DayCodeOfIndex(index));
    }
    values.loggingEnabled = m_state.loggingEnabled;
    values.logLevelIndex = m_state.logLevelIndex;
    values.sort = m_state.sortIndex;
    return Validate(values, m_job, now);
}

}  // namespace tarvo::scheduler
