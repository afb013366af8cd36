// RegTransfer.cpp --- tarvoctl reg export and import: whole key trees to and from .reg text.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry/Registry.h"
#include "tools/tarvoctl/RegConsole.h"
#include "tools/tarvoctl/RegFile.h"
#include "tools/tarvoctl/RegKeyName.h"

namespace tarvo::tools {

using namespace tarvo::platform;

namespace {

LSTATUS ExportTree(const RegKeyName& name, std::string& out) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(name.root, name.subKey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegFileKey section;
    section.path = name.FullName();
    std::vector<std::string> names;
    std::vector<std::string> children;
    status = ListValueNames(key, names);
    for (size_t i = 0; status == ERROR_SUCCESS && i < names.size(); ++i) {
        RegFileValue value;
        value.name = names[i];
        status = ReadRegValue(key, names[i], value.type, value.data);
        section.values.push_back(value);
    }
    if (status == ERROR_SUCCESS) {
        status = ListSubKeys(key, children);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    out += FormatRegFileKey(section);
    for (const auto& child : children) {
        if ((status = ExportTree(name.Child(child), out)) != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

int RunRegExport(const Arguments& args) {
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && !IsOption(args[2], "y"))) {
        return InvalidSyntax("EXPORT");
    }
    RegKeyName name;
    if (!ParseRegKeyName(args[0], name)) {
        return InvalidKeyName("EXPORT");
    }
    std::string text = std::string(kRegFileHeader) + "\r\n\r\n";
    LSTATUS status = ExportTree(name, text);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    const std::string& file = args[1];
    std::error_code ignored;
    if (args.size() == 2 && std::filesystem::exists(file, ignored)) {
        bool proceed = false;
        int rc =
            ConfirmOrRefuse("File " + file + " already exists. Overwrite (Yes/No)?",
                            "File " + file +
                                " already exists and was left as it is: standard input is not a terminal to "
                                "ask on. Add /y to overwrite it without asking.",
                            proceed);
        if (!proceed) {
            return rc;
        }
    }
    // Written beside the target and renamed over it, so a failed export leaves no half file.
    std::string temporary = file + ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ignored);
            return Fail("ERROR: Cannot write " + file + ": " + std::strerror(errno));
        }
    }
    std::filesystem::rename(temporary, file, ignored);
    if (ignored) {
        std::filesystem::remove(temporary, ignored);
        return Fail("ERROR: Cannot write " + file + ".");
    }
    std::printf("%s\n", kSuccess);
    return 0;
}

int RunRegImport(const Arguments& args) {
    if (args.size() != 1) {
        return InvalidSyntax("IMPORT");
    }
    std::ifstream in(args[0], std::ios::binary);
    std::error_code ignored;
    if (!in || std::filesystem::is_directory(args[0], ignored)) {
        return Fail("ERROR: Error opening the file. There may be a disk or file system error.");
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::vector<RegFileKey> keys;
    std::string error;
    if (!ParseRegFile(bytes.str(), keys, error)) {
        return Fail("ERROR: " + args[0] + ": " + error + ". Nothing was imported.");
    }
    std::vector<RegKeyName> names(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!ParseRegKeyName(keys[i].path, names[i]) || names[i].subKey.empty()) {
            return Fail("ERROR: " + args[0] + ": invalid key name [" + keys[i].path +
                        "]. Nothing was imported.");
        }
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const RegKeyName& name = names[i];
        if (keys[i].remove) {
            LSTATUS status = RegDeleteTreeA(name.root, name.subKey.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                return FailStatus(status);
            }
            continue;
        }
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExA(name.root, name.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
        for (size_t v = 0; status == ERROR_SUCCESS && v < keys[i].values.size(); ++v) {
            const RegFileValue& value = keys[i].values[v];
            if (value.remove) {
                status = RegDeleteValueA(key, value.name.c_str());
                status = status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
            } else {
                status = RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                                        static_cast<DWORD>(value.data.size()));
            }
        }
        if (key != nullptr) {
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            return FailStatus(status);
        }
    }
    std::printf("%s\n", kSuccess);
    return 0;
}

}  // namespace tarvo::tools
