// SystemIntegration.cpp --- default-defragmenter offer, boot-execute list, page-file flag, application path.
#include "app/SystemIntegration.h"

#include <cctype>
#include <vector>

#include "app/OwnCommand.h"
#include "app/RegistryValues.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "platform/registry/Registry.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;

bool Ok(LSTATUS status) {
    return status == static_cast<LSTATUS>(ERROR_SUCCESS);
}

enum class ListRead { Ok, Absent, Failed };

// Reads the boot-execute list (size first, then data) into its entries.
ListRead ReadBootExecute(HKEY key, std::vector<std::string>& entries) {
    entries.clear();
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, kBootExecuteValue, nullptr, &type, nullptr, &size);
    if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) return ListRead::Absent;
    if (!Ok(status) || type != REG_MULTI_SZ) return ListRead::Failed;
    std::vector<BYTE> data(size + 2, 0);
    DWORD got = size;
    if (!Ok(RegQueryValueExA(key, kBootExecuteValue, nullptr, &type, data.data(), &got))) return ListRead::Failed;
    const char* at = reinterpret_cast<const char*>(data.data());
    const char* end = at + got;
    while (at < end && *at != '\0') {
        std::string entry(at);
        at += entry.size() + 1;
        entries.push_back(std::move(entry));
    }
    return ListRead::Ok;
}

bool WriteBootExecute(HKEY key, const std::vector<std::string>& entries) {
    std::string data;
    for (const std::string& e : entries) data += e + '\0';
    data += '\0';
    if (entries.empty()) data += '\0';
    return Ok(RegSetValueExA(key, kBootExecuteValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())));
}

HKEY OpenSessionManager() {
    HKEY key = nullptr;
    if (!Ok(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr)))
        return nullptr;
    return key;
}

}  // namespace

BOOL IsDefaultDefragmenter() {
    return ReadString(HKEY_LOCAL_MACHINE, kDefragPathKey, "") == OwnCommand();
}

BOOL ShouldAskDefault() {
    return Settings().DontAskUserAgain() == 0;
}

BOOL ShouldOfferDefault() {
    return !IsDefaultDefragmenter() && ShouldAskDefault();
}

void AnswerDefaultOffer(OfferAnswer answer, BOOL dontAskAgain) {
    Settings().SetDontAskUserAgain(dontAskAgain ? 1 : 0, Persist::Yes);
    if (answer == OfferAnswer::Yes) WriteString(HKEY_LOCAL_MACHINE, kDefragPathKey, "", OwnCommand());
}

BOOL IsBootServiceRegistered() {
    HKEY key = OpenSessionManager();
    if (key == nullptr) return 0;
    std::vector<std::string> entries;
    ListRead read = ReadBootExecute(key, entries);
    RegCloseKey(key);
    if (read != ListRead::Ok) return 0;
    for (const std::string& e : entries) {
        if (e == kBootServiceName) {
            WriteDword(HKEY_LOCAL_MACHINE, kBootServiceKey, "run", 1);
            return 1;
        }
    }
    return 0;
}

BOOL SetBootService(BOOL on) {
    on = on ? 1 : 0;
    if (IsBootServiceRegistered() == on) return 1;
    HKEY key = OpenSessionManager();
    if (key == nullptr) return 0;
    std::vector<std::string> entries;
    // An absent list is empty: a fresh system has none, and the option must still switch on.
    bool written = false;
    if (ReadBootExecute(key, entries) != ListRead::Failed) {
        if (on) {
            entries.emplace_back(kBootServiceName);
        } else {
            std::erase(entries, std::string(kBootServiceName));
        }
        written = WriteBootExecute(key, entries);
    }
    RegCloseKey(key);
    if (!written) return 0;
    return WriteDword(HKEY_LOCAL_MACHINE, kBootServiceKey, "run", on ? 1 : 0);
}

void WritePageFileFlag() {
    WriteDword(HKEY_LOCAL_MACHINE, kMemoryManagementKey, kClearPageFileValue,
               Settings().BootServiceRegistered() ? 1 : 0);
}

std::string SchedulerPath() {
    std::string path = ReadString(HKEY_LOCAL_MACHINE, LoadString(IDS_APP_PATH_KEY).c_str(),
                                  LoadString(IDS_APP_PATH_VALUE).c_str());
    if (path.empty()) return {};
    path += "\\" + LoadString(IDS_SCHEDULER_EXE);
    for (char& c : path) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return path;
}

BOOL RegisterApplicationPath(const std::string& folder) {
    const std::string key = LoadString(IDS_APP_PATH_KEY);
    std::string program = folder;
    if (!program.empty() && program.back() != '\\' && program.back() != '/') program += '\\';
    program += "TarvoDefrag.exe";
    BOOL a = WriteString(HKEY_LOCAL_MACHINE, key.c_str(), "", program);
    BOOL b = WriteString(HKEY_LOCAL_MACHINE, key.c_str(), LoadString(IDS_APP_PATH_VALUE).c_str(), folder);
    return a && b;
}

}  // namespace tarvo::app
