// Settings.cpp --- the process-wide settings record: load, setters, command-line fields.
#include "app/Settings.h"

#include <cstring>
#include <vector>

#include "platform/registry/Registry.h"

namespace tarvo::app {
namespace {

constexpr const char* kSessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kBootExecute = "BootExecute";
constexpr const char* kBootServiceName = "TarvoNTStart";

// Looks for the boot-time service in the boot-execute list without changing anything.
BOOL BootServiceListed() {
    using namespace tarvo::platform;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
        static_cast<LSTATUS>(ERROR_SUCCESS))
        return FALSE;
    BOOL found = FALSE;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, kBootExecute, nullptr, &type, nullptr, &size) ==
            static_cast<LSTATUS>(ERROR_SUCCESS) &&
        type == REG_MULTI_SZ && size > 0) {
        std::vector<BYTE> data(size + 2, 0);  // two extra terminators guard a list stored without them
        DWORD got = size;
        if (RegQueryValueExA(key, kBootExecute, nullptr, &type, data.data(), &got) ==
            static_cast<LSTATUS>(ERROR_SUCCESS)) {
            const char* entry = reinterpret_cast<const char*>(data.data());
            const char* end = entry + got;
            while (entry < end && *entry != '\0') {
                if (std::strcmp(entry, kBootServiceName) == 0)
                    found = TRUE;
                entry += std::strlen(entry) + 1;
            }
        }
    }
    RegCloseKey(key);
    return found;
}

}  // namespace

CSettings::CSettings()
    : m_hideOnMinimize(DefinitionOf(SettingId::HideOnMinimize).defaultValue),
      m_removableDrives(DefinitionOf(SettingId::RemovableDrives).defaultValue),
      m_collapseList(DefinitionOf(SettingId::CollapseList).defaultValue),
      m_allDrives(DefinitionOf(SettingId::AllDrives).defaultValue),
      m_dontAskUserAgain(DefinitionOf(SettingId::DontAskUserAgain).defaultValue),
      m_logLevel(DefinitionOf(SettingId::LogLevel).defaultValue),
      m_enabled(DefinitionOf(SettingId::Enabled).defaultValue),
      m_dontDisplay(DefinitionOf(SettingId::DontDisplay).defaultValue),
      m_quietMode(DefinitionOf(SettingId::QuietMode).defaultValue),
      m_bufferMessages(DefinitionOf(SettingId::BufferMessages).defaultValue),
      m_flatBar(DefinitionOf(SettingId::FlatBar).defaultValue),
      m_drawShadow(DefinitionOf(SettingId::DrawShadow).defaultValue),
      m_blockSize(DefinitionOf(SettingId::BlockSize).defaultValue),
      m_forceAnalyzation(DefinitionOf(SettingId::ForceAnalyzation).defaultValue),
      m_ntfsOption(DefinitionOf(SettingId::NTFSOption).defaultValue),
      m_ntfsSortedBy(DefinitionOf(SettingId::NTFSSortedBy).defaultValue),
      m_fatOption(DefinitionOf(SettingId::FATOption).defaultValue),
      m_fatSortedBy(DefinitionOf(SettingId::FATSortedBy).defaultValue),
      m_normalPriority(DefinitionOf(SettingId::NormalPriority).defaultValue),
      m_scheduledPriority(DefinitionOf(SettingId::ScheduledPriority).defaultValue) {}

void CSettings::Load(BootServiceProbe probe) {
    m_hideOnMinimize = ReadHideOnMinimize();
    m_bootServiceRegistered = probe ? probe() : BootServiceListed();
    m_removableDrives = ReadRemovableDrives();
    m_collapseList = ReadCollapseList();
    m_allDrives = ReadAllDrives();
    m_dontAskUserAgain = ReadDontAskUserAgain();
    {
        std::string windowPos = ReadWindowPos();
        std::lock_guard<std::mutex> guard(m_windowPosLock);
        m_windowPos = std::move(windowPos);
    }
    m_logLevel = ReadLogLevel();
    m_enabled = ReadEnabled();
    m_dontDisplay = ReadDontDisplay();
    m_quietMode = ReadQuietMode();
    m_flatBar = ReadFlatBar();
    m_drawShadow = ReadDrawShadow();
    m_blockSize = ReadBlockSize();
    m_forceAnalyzation = ReadForceAnalyzation();
    m_ntfsOption = ReadNTFSOption();
    m_ntfsSortedBy = ReadNTFSSortedBy();
    m_fatOption = ReadFATOption();
    m_fatSortedBy = ReadFATSortedBy();
    m_bufferMessages = ReadBufferMessages();
    m_normalPriority = ReadNormalPriority();
    m_scheduledPriority = ReadScheduledPriority();
}

std::string CSettings::WindowPos() const {
    std::lock_guard<std::mutex> guard(m_windowPosLock);
    return m_windowPos;
}

BOOL CSettings::SetHideOnMinimize(BOOL value, Persist persist) {
    m_hideOnMinimize = value;
    return persist == Persist::Yes ? WriteHideOnMinimize(value) : 1;
}

BOOL CSettings::SetCollapseList(BOOL value, Persist persist) {
    m_collapseList = value;
    return persist == Persist::Yes ? WriteCollapseList(value) : 1;
}

BOOL CSettings::SetWindowPos(const std::string& value, Persist persist) {
    {
        std::lock_guard<std::mutex> guard(m_windowPosLock);
        m_windowPos = value;
    }
    return persist == Persist::Yes ? WriteWindowPos(value) : 1;
}

BOOL CSettings::SetAllDrives(BOOL value, Persist persist) {
    m_allDrives = value;
    return persist == Persist::Yes ? WriteAllDrives(value) : 1;
}

BOOL CSettings::SetDontAskUserAgain(BOOL value, Persist persist) {
    m_dontAskUserAgain = value;
    return persist == Persist::Yes ? WriteDontAskUserAgain(value) : 1;
}

BOOL CSettings::SetFlatBar(BOOL value, Persist persist) {
    m_flatBar = value;
    return persist == Persist::Yes ? WriteFlatBar(value) : 1;
}

BOOL CSettings::SetNTFSOption(int value, Persist persist) {
    m_ntfsOption = value;
    return persist == Persist::Yes ? WriteNTFSOption(value) : 1;
}

BOOL CSettings::SetFATOption(int value, Persist persist) {
    m_fatOption = value;
    return persist == Persist::Yes ? WriteFATOption(value) : 1;
}

void CSettings::SetSpaceDrives(const DriveList* drives) {
    m_spaceDrives = drives;
    m_spaceListGiven = drives != nullptr;
}

void CSettings::SetCompleteDrives(const DriveList* drives) {
    m_completeDrives = drives;
    m_completeListGiven = drives != nullptr;
}

void CSettings::SetAllFlags(BOOL spaceAll, BOOL completeAll) {
    m_spaceAll = spaceAll;
    m_completeAll = completeAll;
}

void CSettings::SetLogging(BOOL enabled, int level) {
    m_enabled = enabled;
    m_logLevel = level;
}

void CSettings::SetSortedBy(int order) {
    m_ntfsSortedBy = order;
    m_fatSortedBy = order;
}

CSettings& Settings() {
    // Never destroyed: workers may still read it while the process exits.
    static CSettings* record = new CSettings();
    return *record;
}

}  // namespace tarvo::app
