// CommandReg.cpp --- tarvoctl reg: query, add and delete registry keys and values; dispatch of all reg
// operations.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryDetail.h"
#include "tools/tarvoctl/Command.h"
#include "tools/tarvoctl/RegConsole.h"
#include "tools/tarvoctl/RegKeyName.h"

namespace tarvo::tools {

using namespace tarvo::platform;

namespace {

bool IsHelp(const Arguments& args) {
    for (const auto& word : args) {
        if (word == "/?" || word == "-?" || word == "/h" || word == "-h" || word == "--help") {
            return true;
        }
    }
    return false;
}

// Options shared by query, add and delete.
struct Options {
    RegKeyName key;
    bool hasValue = false;  // /v or /ve
    std::string valueName;
    bool allValues = false;  // /va
    bool recurse = false;    // /s (query)
    bool force = false;      // /f
    bool hasType = false;
    DWORD type = REG_SZ;
    bool hasData = false;
    std::string data;
    std::string separator = "\\0";
};

// Answers 0 when the options are well formed, else the exit status after the message.
int ParseOptions(const Arguments& args, const std::string& operation, const char* allowed, Options& out) {
    if (args.empty()) {
        return InvalidSyntax(operation);
    }
    if (!ParseRegKeyName(args[0], out.key)) {
        return InvalidKeyName(operation);
    }
    auto allows = [&](const char* option) {
        return std::strstr(allowed, (std::string(" ") + option + " ").c_str()) != nullptr;
    };
    bool seenSeparator = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& word = args[i];
        bool takesArgument = IsOption(word, "v") || IsOption(word, "t") || IsOption(word, "d") ||
                             (IsOption(word, "s") && operation == "ADD");
        if (takesArgument && i + 1 >= args.size()) {
            return InvalidSyntax(operation);
        }
        std::string name = word.size() > 1 ? RegistryFold(word.substr(1)) : "";
        if ((word[0] != '/' && word[0] != '-') || !allows(name.c_str())) {
            return InvalidSyntax(operation);
        }
        if (name == "v" || name == "ve" || name == "va") {
            if (out.hasValue || out.allValues) {
                return InvalidSyntax(operation);
            }
            out.allValues = name == "va";
            out.hasValue = !out.allValues;
            out.valueName = name == "v" ? args[++i] : "";
        } else if (name == "s" && operation == "ADD") {
            if (seenSeparator || args[i + 1].size() != 1) {
                return InvalidSyntax(operation);
            }
            seenSeparator = true;
            out.separator = args[++i];
        } else if (name == "s") {
            out.recurse = true;
        } else if (name == "f") {
            out.force = true;
        } else if (name == "t") {
            if (out.hasType || !ParseRegType(args[++i], out.type)) {
                return InvalidSyntax(operation);
            }
            out.hasType = true;
        } else if (name == "d") {
            if (out.hasData) {
                return InvalidSyntax(operation);
            }
            out.hasData = true;
            out.data = args[++i];
        }
    }
    return 0;
}

void PrintValue(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), RegTypeName(type).c_str(),
                FormatRegData(type, data).c_str());
}

// Prints one key: its name, then its values (or only the named one). Answers
// the number of values printed, or -1 after a failure message.
int PrintKey(const RegKeyName& name, const Options& options, bool printIfEmpty) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(name.root, name.subKey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        FailStatus(status);
        return -1;
    }
    std::vector<std::string> names;
    if (options.hasValue) {
        names.push_back(options.valueName);
    } else if ((status = ListValueNames(key, names)) != ERROR_SUCCESS) {
        RegCloseKey(key);
        FailStatus(status);
        return -1;
    }
    int printed = 0;
    for (const auto& valueName : names) {
        DWORD type = 0;
        std::vector<BYTE> data;
        status = ReadRegValue(key, valueName, type, data);
        if (status != ERROR_SUCCESS) {
            continue;
        }
        if (printed++ == 0) {
            std::printf("%s\n", name.FullName().c_str());
        }
        PrintValue(valueName, type, data);
    }
    if (printed == 0 && printIfEmpty) {
        std::printf("%s\n", name.FullName().c_str());
    }
    if (printed > 0 || printIfEmpty) {
        std::printf("\n");
    }
    RegCloseKey(key);
    return printed;
}

int QueryTree(const RegKeyName& name, const Options& options, int& matches) {
    int printed = PrintKey(name, options, !options.hasValue);
    if (printed < 0) {
        return 1;
    }
    matches += printed;
    HKEY key = nullptr;
    std::vector<std::string> children;
    if (RegOpenKeyExA(name.root, name.subKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ListSubKeys(key, children);
        RegCloseKey(key);
    }
    for (const auto& child : children) {
        if (QueryTree(name.Child(child), options, matches) != 0) {
            return 1;
        }
    }
    return 0;
}

int RunQuery(const Arguments& args) {
    Options options;
    if (int rc = ParseOptions(args, "QUERY", " v ve s ", options); rc != 0) {
        return rc;
    }
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(options.key.root, options.key.subKey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    if (options.recurse) {
        RegCloseKey(key);
        std::printf("\n");
        int matches = 0;
        if (QueryTree(options.key, options, matches) != 0) {
            return 1;
        }
        if (options.hasValue) {
            std::printf("End of search: %d match(es) found.\n", matches);
        }
        return 0;
    }
    if (options.hasValue) {
        DWORD type = 0;
        std::vector<BYTE> data;
        status = ReadRegValue(key, options.valueName, type, data);
        std::vector<std::string> stored;
        ListValueNames(key, stored);
        for (const auto& name : stored) {
            if (RegistryFold(name) == RegistryFold(options.valueName)) {
                options.valueName = name;  // shown as it was first written
            }
        }
        RegCloseKey(key);
        if (status == ERROR_FILE_NOT_FOUND && options.valueName.empty()) {
            std::printf("\n%s\n    (Default)    REG_SZ    (value not set)\n\n",
                        options.key.FullName().c_str());
            return 0;
        }
        if (status != ERROR_SUCCESS) {
            return FailStatus(status);
        }
        std::printf("\n%s\n", options.key.FullName().c_str());
        PrintValue(options.valueName, type, data);
        std::printf("\n");
        return 0;
    }
    std::vector<std::string> children;
    ListSubKeys(key, children);
    RegCloseKey(key);
    std::printf("\n");
    if (PrintKey(options.key, options, true) < 0) {
        return 1;
    }
    for (const auto& child : children) {
        std::printf("%s\n", options.key.Child(child).FullName().c_str());
    }
    return 0;
}

// Builds the stored bytes of /d for the type; answers false for data the type cannot take.
bool EncodeData(const Options& options, std::vector<BYTE>& out, std::string& error) {
    const std::string& data = options.data;
    switch (options.type) {
        case REG_DWORD: {
            errno = 0;
            char* end = nullptr;
            unsigned long long value = std::strtoull(data.c_str(), &end, 0);
            if (data.empty() || *end != '\0' || errno != 0 || value > 0xFFFFFFFFull || data[0] == '-') {
                error = "ERROR: Invalid syntax. Specify valid numeric value.";
                return false;
            }
            for (int shift = 0; shift < 32; shift += 8) {
                out.push_back(static_cast<BYTE>((value >> shift) & 0xFF));
            }
            return true;
        }
        case REG_BINARY:
        case REG_NONE: {
            if (data.size() % 2 != 0 ||
                data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                error = "ERROR: Invalid syntax. Specify valid hexadecimal value.";
                return false;
            }
            for (size_t i = 0; i < data.size(); i += 2) {
                out.push_back(static_cast<BYTE>(std::strtoul(data.substr(i, 2).c_str(), nullptr, 16)));
            }
            return true;
        }
        case REG_MULTI_SZ: {
            size_t start = 0;
            while (start < data.size()) {
                size_t end = data.find(options.separator, start);
                std::string item = data.substr(start, end == std::string::npos ? end : end - start);
                if (item.empty() && end != std::string::npos) {
                    error = "ERROR: Invalid syntax. Empty strings are not allowed in REG_MULTI_SZ data.";
                    return false;
                }
                out.insert(out.end(), item.begin(), item.end());
                out.push_back(0);
                start = end == std::string::npos ? data.size() : end + options.separator.size();
            }
            out.push_back(0);
            return true;
        }
        default:
            out.assign(data.begin(), data.end());
            out.push_back(0);
            return true;
    }
}

int RunAdd(const Arguments& args) {
    Options options;
    if (int rc = ParseOptions(args, "ADD", " v ve t s d f ", options); rc != 0) {
        return rc;
    }
    std::vector<BYTE> bytes;
    std::string error;
    bool setsValue = options.hasValue || options.hasType || options.hasData;
    if (setsValue && !EncodeData(options, bytes, error)) {
        return Fail(error);
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(options.key.root, options.key.subKey.c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    if (setsValue) {
        DWORD size = 0;
        if (!options.force && RegQueryValueExA(key, options.valueName.c_str(), nullptr, nullptr, nullptr,
                                               &size) == ERROR_SUCCESS) {
            bool proceed = false;
            std::string shown = options.valueName.empty() ? "(Default)" : options.valueName;
            int rc = ConfirmOrRefuse("Value " + shown + " exists, overwrite(Yes/No)?",
                                     "Value " + shown +
                                         " exists and was left as it is: standard input is not a terminal to "
                                         "ask on. Add /f to overwrite it without asking.",
                                     proceed);
            if (!proceed) {
                RegCloseKey(key);
                return rc;
            }
        }
        status = RegSetValueExA(key, options.valueName.c_str(), 0, options.type, bytes.data(),
                                static_cast<DWORD>(bytes.size()));
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    std::printf("%s\n", kSuccess);
    return 0;
}

int RunDelete(const Arguments& args) {
    Options options;
    if (int rc = ParseOptions(args, "DELETE", " v ve va f ", options); rc != 0) {
        return rc;
    }
    bool wholeKey = !options.hasValue && !options.allValues;
    if (wholeKey && options.key.subKey.empty()) {
        return InvalidKeyName("DELETE");
    }
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(options.key.root, options.key.subKey.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    DWORD size = 0;
    if (options.hasValue &&
        RegQueryValueExA(key, options.valueName.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return Fail(kNotFound);
    }
    if (!options.force) {
        std::string question =
            wholeKey ? "Permanently delete the registry key " + options.key.FullName() + " (Yes/No)?"
            : options.allValues
                ? "Delete all values under the registry key " + options.key.FullName() + " (Yes/No)?"
                : "Delete the registry value " +
                      (options.valueName.empty() ? std::string("(Default)") : options.valueName) +
                      " (Yes/No)?";
        bool proceed = false;
        int rc = ConfirmOrRefuse(question,
                                 "Nothing was deleted: standard input is not a terminal to ask on. Add /f to "
                                 "delete without asking.",
                                 proceed);
        if (!proceed) {
            RegCloseKey(key);
            return rc;
        }
    }
    if (options.hasValue) {
        status = RegDeleteValueA(key, options.valueName.c_str());
    } else if (options.allValues) {
        std::vector<std::string> names;
        status = ListValueNames(key, names);
        for (size_t i = 0; status == ERROR_SUCCESS && i < names.size(); ++i) {
            status = RegDeleteValueA(key, names[i].c_str());
        }
    } else {
        status = RegDeleteTreeA(options.key.root, options.key.subKey.c_str());
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return FailStatus(status);
    }
    std::printf("%s\n", kSuccess);
    return 0;
}

void PrintHelp() {
    std::printf(
        "REG QUERY KeyName [/v ValueName | /ve] [/s]\n"
        "REG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
        "REG DELETE KeyName [/v ValueName | /ve | /va] [/f]\n"
        "REG EXPORT KeyName FileName [/y]\n"
        "REG IMPORT FileName\n\n"
        "  KeyName    HKCU|HKEY_CURRENT_USER|HKLM|HKEY_LOCAL_MACHINE[\\SubKey]\n"
        "  Type       REG_SZ | REG_EXPAND_SZ | REG_MULTI_SZ | REG_DWORD | REG_BINARY | REG_NONE\n"
        "  /f /y      go ahead without asking; without a terminal, questions are answered No\n");
}

int RunReg(const Arguments& args) {
    if (args.empty()) {
        return Fail("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
    }
    std::string operation = RegistryFold(args[0]);
    Arguments rest(args.begin() + 1, args.end());
    if (IsHelp(args)) {
        PrintHelp();
        return 0;
    }
    if (operation == "query") {
        return RunQuery(rest);
    }
    if (operation == "add") {
        return RunAdd(rest);
    }
    if (operation == "delete") {
        return RunDelete(rest);
    }
    if (operation == "export") {
        return RunRegExport(rest);
    }
    if (operation == "import") {
        return RunRegImport(rest);
    }
    return Fail("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
}

CommandRegistration g_reg{{"reg", "reg query|add|delete|export|import KEY [/v NAME|/ve] ...",
                           "query and change the registry store, as the reg command does", RunReg}};

}  // namespace

}  // namespace tarvo::tools
