// SettingsTable.h --- the stored settings: names, defaults, clamping, one reader and one writer each.
//
// Values lie in the application's profile, key Software, "Tarvo", "Tarvo Defrag"
// and the section under HKEY_CURRENT_USER, once start-up has set the registry key. A
// reader answers the stored value or the default; a value of the wrong type
// reads as missing. A writer answers the profile function's result. Thread-safe.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

constexpr const char* SECTION_SETTINGS = "Settings";
constexpr const char* SECTION_LOGGING = "Logging";
constexpr const char* SECTION_EXCLUSION_LIST = "ExclusionList";

// Every DWORD setting of the table.
enum class SettingId {
    FATOption,
    FATSortedBy,
    NTFSOption,
    NTFSSortedBy,
    ForceAnalyzation,
    BlockSize,
    DrawShadow,
    FlatBar,
    QuietMode,
    BufferMessages,
    DontDisplay,
    Enabled,
    LogLevel,
    NormalPriority,
    ScheduledPriority,
    SpaceMaxTryTime,
    DontAskUserAgain,
    AllDrives,
    CollapseList,
    SingleInstance,
    RemovableDrives,
    HideOnMinimize,
};

// What a reader does with a stored value outside the setting's range.
enum class Clamp { None, ToDefaultOutsideRange, NegativeToDefault };

struct SettingDefinition {
    const char* section;
    const char* name;
    int defaultValue;
    Clamp clamp;
    int minimum;  // range, used by Clamp::ToDefaultOutsideRange
    int maximum;
    bool writable;
};

// The table row of a setting.
const SettingDefinition& DefinitionOf(SettingId id);

// The stored value, clamped, or the default when missing.
int ReadSetting(SettingId id);

// Writes the value with WriteProfileInt; answers 0 for the settings that have
// no writer (ForceAnalyzation, SpaceMaxTryTime, SingleInstance) or on failure.
BOOL WriteSetting(SettingId id, int value);

// The string setting WindowPos (default empty).
std::string ReadWindowPos();
BOOL WriteWindowPos(const std::string& text);

// clang-format off
// One reader per value.
inline int ReadFATOption() { return ReadSetting(SettingId::FATOption); }
inline int ReadFATSortedBy() { return ReadSetting(SettingId::FATSortedBy); }
inline int ReadNTFSOption() { return ReadSetting(SettingId::NTFSOption); }
inline int ReadNTFSSortedBy() { return ReadSetting(SettingId::NTFSSortedBy); }
inline int ReadForceAnalyzation() { return ReadSetting(SettingId::ForceAnalyzation); }
inline int ReadBlockSize() { return ReadSetting(SettingId::BlockSize); }
inline int ReadDrawShadow() { return ReadSetting(SettingId::DrawShadow); }
inline int ReadFlatBar() { return ReadSetting(SettingId::FlatBar); }
inline int ReadQuietMode() { return ReadSetting(SettingId::QuietMode); }
inline int ReadBufferMessages() { return ReadSetting(SettingId::BufferMessages); }
inline int ReadDontDisplay() { return ReadSetting(SettingId::DontDisplay); }
inline int ReadEnabled() { return ReadSetting(SettingId::Enabled); }
inline int ReadLogLevel() { return ReadSetting(SettingId::LogLevel); }
inline int ReadNormalPriority() { return ReadSetting(SettingId::NormalPriority); }
inline int ReadScheduledPriority() { return ReadSetting(SettingId::ScheduledPriority); }
// Read by the SPACE method each time it needs it, never cached.
inline int ReadSpaceMaxTryTime() { return ReadSetting(SettingId::SpaceMaxTryTime); }
inline int ReadDontAskUserAgain() { return ReadSetting(SettingId::DontAskUserAgain); }
inline int ReadAllDrives() { return ReadSetting(SettingId::AllDrives); }
inline int ReadCollapseList() { return ReadSetting(SettingId::CollapseList); }
// Read directly at start: the string number that names the single-instance guard.
inline platform::UINT ReadSingleInstance() {
    return static_cast<platform::UINT>(ReadSetting(SettingId::SingleInstance));
}
inline int ReadRemovableDrives() { return ReadSetting(SettingId::RemovableDrives); }
inline int ReadHideOnMinimize() { return ReadSetting(SettingId::HideOnMinimize); }

// One writer per writable value.
inline BOOL WriteFATOption(int v) { return WriteSetting(SettingId::FATOption, v); }
inline BOOL WriteFATSortedBy(int v) { return WriteSetting(SettingId::FATSortedBy, v); }
inline BOOL WriteNTFSOption(int v) { return WriteSetting(SettingId::NTFSOption, v); }
inline BOOL WriteNTFSSortedBy(int v) { return WriteSetting(SettingId::NTFSSortedBy, v); }
inline BOOL WriteBlockSize(int v) { return WriteSetting(SettingId::BlockSize, v); }
inline BOOL WriteDrawShadow(int v) { return WriteSetting(SettingId::DrawShadow, v); }
inline BOOL WriteFlatBar(int v) { return WriteSetting(SettingId::FlatBar, v); }
inline BOOL WriteQuietMode(int v) { return WriteSetting(SettingId::QuietMode, v); }
inline BOOL WriteBufferMessages(int v) { return WriteSetting(SettingId::BufferMessages, v); }
inline BOOL WriteDontDisplay(int v) { return WriteSetting(SettingId::DontDisplay, v); }
inline BOOL WriteEnabled(int v) { return WriteSetting(SettingId::Enabled, v); }
inline BOOL WriteLogLevel(int v) { return WriteSetting(SettingId::LogLevel, v); }
inline BOOL WriteNormalPriority(int v) { return WriteSetting(SettingId::NormalPriority, v); }
inline BOOL WriteScheduledPriority(int v) { return WriteSetting(SettingId::ScheduledPriority, v); }
inline BOOL WriteDontAskUserAgain(int v) { return WriteSetting(SettingId::DontAskUserAgain, v); }
inline BOOL WriteAllDrives(int v) { return WriteSetting(SettingId::AllDrives, v); }
inline BOOL WriteCollapseList(int v) { return WriteSetting(SettingId::CollapseList, v); }
inline BOOL WriteRemovableDrives(int v) { return WriteSetting(SettingId::RemovableDrives, v); }
inline BOOL WriteHideOnMinimize(int v) { return WriteSetting(SettingId::HideOnMinimize, v); }
// clang-format on

}  // namespace tarvo::app
