// RegFile.h --- the classic .reg text: writing keys and values, and reading it back.
//
// Files start with "Windows Registry Editor Version 5.00" (or "REGEDIT4"),
// then "[HKEY_...\Key]" sections of "name"=value lines: "text", dword:0000000a,
// hex:..., hex(2):... (REG_EXPAND_SZ), hex(7):... (REG_MULTI_SZ), @ for the
// default value, "name"=- to delete a value and [-HKEY_...] to delete a key.
// In version 5.00 files the hex(N) string types hold UTF-16LE text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::tools {

struct RegFileValue {
    std::string name;  // "" for the default value
    bool remove = false;
    platform::DWORD type = 0;
    std::vector<platform::BYTE> data;  // as the registry stores it (UTF-8 strings, terminated)
};

struct RegFileKey {
    std::string path;  // "HKEY_CURRENT_USER\Software\..."
    bool remove = false;
    std::vector<RegFileValue> values;
};

constexpr const char* kRegFileHeader = "Windows Registry Editor Version 5.00";

// The text of one key section, with its trailing blank line (CRLF line ends).
std::string FormatRegFileKey(const RegFileKey& key);

// Parses a whole file (UTF-8, or UTF-16LE with its byte-order mark). Answers
// false with a reason ("line N: ...") and no keys when anything is malformed.
bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error);

}  // namespace tarvo::tools
