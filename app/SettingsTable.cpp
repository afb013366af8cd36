// SettingsTable.cpp --- the settings table and its profile readers and writers.
#include "app/SettingsTable.h"

#include <iterator>

#include "platform/registry/Registry.h"

namespace tarvo::app {
namespace {

constexpr int kNoRange = 0;

// One row per SettingId, in the enum's order.
constexpr SettingDefinition kSettings[] = {
    {SECTION_SETTINGS, "FATOption", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "FATSortedBy", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "NTFSOption", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "NTFSSortedBy", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "ForceAnalyzation", 1, Clamp::None, kNoRange, kNoRange, false},
    {SECTION_SETTINGS, "BlockSize", 9, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "DrawShadow", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "FlatBar", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "QuietMode", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "BufferMessages", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "DontDisplay", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_LOGGING, "Enabled", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_LOGGING, "LogLevel", 0, Clamp::ToDefaultOutsideRange, 0, 4, true},
    {SECTION_SETTINGS, "NormalPriority", 1, Clamp::ToDefaultOutsideRange, 0, 2, true},
    {SECTION_SETTINGS, "ScheduledPriority", 1, Clamp::ToDefaultOutsideRange, 0, 2, true},
    {SECTION_SETTINGS, "SpaceMaxTryTime", 240, Clamp::NegativeToDefault, kNoRange, kNoRange, false},
    {SECTION_SETTINGS, "DontAskUserAgain", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "AllDrives", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "CollapseList", 1, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "SingleInstance", 1310711, Clamp::None, kNoRange, kNoRange, false},
    {SECTION_SETTINGS, "RemovableDrives", 0, Clamp::None, kNoRange, kNoRange, true},
    {SECTION_SETTINGS, "HideOnMinimize", 0, Clamp::None, kNoRange, kNoRange, true},
};
static_assert(std::size(kSettings) == static_cast<size_t>(SettingId::HideOnMinimize) + 1);

constexpr const char* kWindowPos = "WindowPos";

}  // namespace

const SettingDefinition& DefinitionOf(SettingId id) {
    return kSettings[static_cast<size_t>(id)];
}

int ReadSetting(SettingId id) {
    const SettingDefinition& def = DefinitionOf(id);
    // Stored DWORDs are read back as signed so that -1 is seen as negative.
    int value = static_cast<int>(platform::GetProfileInt(def.section, def.name, def.defaultValue));
    switch (def.clamp) {
        case Clamp::ToDefaultOutsideRange:
            if (value < def.minimum || value > def.maximum)
                value = def.defaultValue;
            break;
        case Clamp::NegativeToDefault:
            if (value < 0)
                value = def.defaultValue;
            break;
        case Clamp::None:
            break;
    }
    return value;
}

BOOL WriteSetting(SettingId id, int value) {
    const SettingDefinition& def = DefinitionOf(id);
    if (!def.writable)
        return 0;
    return platform::WriteProfileInt(def.section, def.name, value) ? 1 : 0;
}

std::string ReadWindowPos() {
    return platform::GetProfileString(SECTION_SETTINGS, kWindowPos, "");
}

BOOL WriteWindowPos(const std::string& text) {
    return platform::WriteProfileString(SECTION_SETTINGS, kWindowPos, text.c_str()) ? 1 : 0;
}

}  // namespace tarvo::app
