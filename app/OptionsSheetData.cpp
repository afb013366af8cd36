// OptionsSheetData.cpp --- loading and storing the options sheet's values, and the priority rules.
#include "app/OptionsSheetData.h"

#include <algorithm>

#include "app/ProcessPriority.h"
#include "app/Settings.h"
#include "app/SettingsTable.h"
#include "app/SystemIntegration.h"
#include "platform/process/Priority.h"

namespace tarvo::app {

using namespace tarvo::platform;

void COptionsSheetData::Load() {
    const CSettings& settings = Settings();
    OptionsValues& v = m_values;
    // The method settings hold 1 for SPACE; the radio pairs show SPACE first.
    v.fatMethod = settings.FATOption() == 0 ? 1 : 0;
    v.ntfsMethod = settings.NTFSOption() == 0 ? 1 : 0;
    v.bootPageFile = settings.BootServiceRegistered() ? 1 : 0;
    v.sortIndex = settings.NTFSSortedBy() == 1 ? 1 : 0;
    v.blockSize = std::clamp(settings.BlockSize(), kMinBlockSize, kMaxBlockSize);
    v.threeD = settings.DrawShadow() ? 1 : 0;
    v.noMap = settings.DontDisplay() ? 1 : 0;
    v.loggingIndex = settings.Enabled() ? 1 : 0;
    v.levelIndex = std::clamp(settings.LogLevel() - 1, 0, kLevelCount - 1);
    v.quiet = settings.QuietMode() ? 1 : 0;
    v.buffer = settings.BufferMessages() ? 1 : 0;
    WriteNormalPriority(AdjustProcessPriority());
    m_loadedPriority = ReadNormalPriority();
    v.priorityInvoked = m_loadedPriority;
    v.priorityScheduled = settings.ScheduledPriority();
    v.removable = settings.RemovableDrives() ? 1 : 0;
}

StoreResult COptionsSheetData::Store() {
    const OptionsValues& v = m_values;
    CSettings& settings = Settings();
    const BOOL removableBefore = settings.RemovableDrives();
    const BOOL allDrivesMode = settings.AllDrives();

    bool ok = true;
    auto write = [&ok](BOOL result) { ok = result != 0 && ok; };
    write(WriteFATOption(v.fatMethod == 0 ? 1 : 0));
    write(WriteNTFSOption(v.ntfsMethod == 0 ? 1 : 0));
    write(SetBootService(v.bootPageFile));
    write(WriteFATSortedBy(v.sortIndex));
    write(WriteNTFSSortedBy(v.sortIndex));
    write(WriteBlockSize(std::clamp(v.blockSize, kMinBlockSize, kMaxBlockSize)));
    write(WriteDrawShadow(v.threeD));
    write(WriteDontDisplay(v.noMap));
    write(WriteRemovableDrives(v.removable));
    write(WriteNormalPriority(v.priorityInvoked));
    write(WriteScheduledPriority(v.priorityScheduled));
    write(WriteQuietMode(v.quiet));
    write(WriteBufferMessages(v.buffer));
    write(WriteEnabled(v.loggingIndex));
    write(WriteLogLevel(v.levelIndex + 1));

    // The all-drives mode is the program's own state, not a stored option: a
    // reload must not switch it back to the stored start value.
    settings.Load(&IsBootServiceRegistered);
    settings.SetAllDrives(allDrivesMode, Persist::No);

    StoreResult result;
    result.stored = ok;
    result.removableChanged = settings.RemovableDrives() != removableBefore;
    result.normalPriorityChanged = settings.NormalPriority() != m_loadedPriority;
    if (result.normalPriorityChanged) {
        SetPriorityClass(GetCurrentProcess(), PriorityClassOfSetting(settings.NormalPriority()));
        m_loadedPriority = settings.NormalPriority();
    }
    return result;
}

BOOL COptionsSheetData::SetRemovable(BOOL on, const std::function<bool()>& confirm) {
    if (on && !m_values.removable && !(confirm && confirm()))
        return m_values.removable;
    m_values.removable = on ? 1 : 0;
    return m_values.removable;
}

}  // namespace tarvo::app
