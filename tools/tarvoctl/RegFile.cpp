// RegFile.cpp --- formatting and parsing .reg text.
#include "tools/tarvoctl/RegFile.h"

#include <cstdio>
#include <cstdlib>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryDetail.h"

namespace tarvo::tools {

using namespace tarvo::platform;

namespace {

// UTF-8 to UTF-16LE bytes; a byte that starts no valid sequence counts as Latin-1.
std::vector<BYTE> ToUtf16(const std::vector<BYTE>& utf8) {
    std::vector<BYTE> out;
    auto put = [&](uint32_t unit) {
        out.push_back(static_cast<BYTE>(unit & 0xFF));
        out.push_back(static_cast<BYTE>(unit >> 8));
    };
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = utf8[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length > 0 && i + length <= utf8.size();
        uint32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (utf8[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (utf8[i + k] & 0x3F);
        }
        if (!valid || code > 0x10FFFF) {
            code = c;
            length = 1;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 | (code >> 10));
            put(0xDC00 | (code & 0x3FF));
        } else {
            put(code);
        }
        i += length;
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD.
std::string FromUtf16(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<BYTE>(bytes[i]) | (static_cast<BYTE>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = static_cast<BYTE>(bytes[i + 2]) | (static_cast<BYTE>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return out;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

bool IsPlainString(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) {
        return false;
    }
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] < 0x20 || data[i] == 0x7F) {
            return false;
        }
    }
    return true;
}

// "hex(N):aa,bb,..." wrapped the way the classic editor wraps long lines.
std::string HexLine(const std::string& prefix, const std::vector<BYTE>& data) {
    std::string out = prefix;
    size_t column = prefix.size();
    for (size_t i = 0; i < data.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%02x", data[i]);
        out += hex;
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

}  // namespace

std::string FormatRegFileKey(const RegFileKey& key) {
    std::string out = "[" + std::string(key.remove ? "-" : "") + key.path + "]\r\n";
    for (const auto& value : key.values) {
        std::string prefix = (value.name.empty() ? std::string("@") : Quote(value.name)) + "=";
        if (value.remove) {
            out += prefix + "-\r\n";
            continue;
        }
        char type[16];
        std::snprintf(type, sizeof(type), "%x", value.type);
        if (value.type == REG_SZ && IsPlainString(value.data)) {
            out += prefix + Quote(std::string(value.data.begin(), value.data.end() - 1));
        } else if (value.type == REG_DWORD && value.data.size() == 4) {
            char dword[16];
            DWORD v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<DWORD>(value.data[3]) << 24);
            std::snprintf(dword, sizeof(dword), "%08x", v);
            out += prefix + "dword:" + dword;
        } else if (value.type == REG_BINARY) {
            out += HexLine(prefix + "hex:", value.data);
        } else if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
            out += HexLine(prefix + "hex(" + type + "):", ToUtf16(value.data));
        } else {
            out += HexLine(prefix + "hex(" + type + "):", value.data);
        }
        out += "\r\n";
    }
    return out + "\r\n";
}

namespace {

struct LineError {
    std::string reason;
};

// Reads a quoted string at text[pos] (pos at the opening quote); answers the position after it.
size_t ReadQuoted(const std::string& text, size_t pos, std::string& out) {
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] == '"') {
            return i + 1;
        } else {
            out += text[i];
        }
    }
    throw LineError{"unterminated quoted string"};
}

std::vector<BYTE> ParseHexList(const std::string& text) {
    std::vector<BYTE> bytes;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t comma = text.find(',', pos);
        std::string item = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
        char* end = nullptr;
        unsigned long value = item.empty() ? 256 : std::strtoul(item.c_str(), &end, 16);
        if (item.empty() || item.size() > 2 || *end != '\0' || value > 0xFF) {
            if (item.empty() && comma == std::string::npos && !bytes.empty()) {
                break;  // a trailing comma
            }
            throw LineError{"bad hex byte \"" + item + "\""};
        }
        bytes.push_back(static_cast<BYTE>(value));
        if (comma == std::string::npos) {
            break;
        }
        pos = comma + 1;
    }
    return bytes;
}

RegFileValue ParseValueLine(const std::string& line, bool unicodeFile) {
    RegFileValue value;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        pos = ReadQuoted(line, 0, value.name);
    }
    pos = line.find_first_not_of(" \t", pos);
    if (pos == std::string::npos || line[pos] != '=') {
        throw LineError{"expected '=' after the value name"};
    }
    std::string data = line.substr(line.find_first_not_of(" \t", pos + 1) == std::string::npos
                                       ? line.size()
                                       : line.find_first_not_of(" \t", pos + 1));
    while (!data.empty() && (data.back() == ' ' || data.back() == '\t')) {
        data.pop_back();
    }
    if (data == "-") {
        value.remove = true;
    } else if (!data.empty() && data[0] == '"') {
        std::string text;
        if (ReadQuoted(data, 0, text) != data.size()) {
            throw LineError{"text after the closing quote"};
        }
        value.type = REG_SZ;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
    } else if (RegistryFold(data.substr(0, 6)) == "dword:") {
        std::string digits = data.substr(6);
        char* end = nullptr;
        unsigned long number = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || digits.size() > 8 || *end != '\0' ||
            digits.find_first_of("+- ") != std::string::npos) {
            throw LineError{"bad dword \"" + digits + "\""};
        }
        value.type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8) {
            value.data.push_back(static_cast<BYTE>((number >> shift) & 0xFF));
        }
    } else if (RegistryFold(data.substr(0, 3)) == "hex") {
        size_t colon = data.find(':');
        std::string kind = data.substr(3, colon == std::string::npos ? colon : colon - 3);
        if (colon == std::string::npos) {
            throw LineError{"expected ':' after hex"};
        }
        value.type = REG_BINARY;
        if (!kind.empty()) {
            char* end = nullptr;
            unsigned long type = std::strtoul(kind.c_str() + 1, &end, 16);
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                end != kind.c_str() + kind.size() - 1 || type > 0xFFFFFFFFul) {
                throw LineError{"bad value type \"" + kind + "\""};
            }
            value.type = static_cast<DWORD>(type);
        }
        value.data = ParseHexList(data.substr(colon + 1));
        if (unicodeFile &&
            (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ)) {
            std::string text = FromUtf16(
                std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
            value.data.assign(text.begin(), text.end());
        }
        if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
            value.data =
                NormaliseValueData(value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        }
        if (value.type == REG_DWORD && value.data.size() != 4) {
            throw LineError{"a dword holds four bytes"};
        }
    } else {
        throw LineError{"unknown value data \"" + data.substr(0, 20) + "\""};
    }
    return value;
}

}  // namespace

bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error) {
    keys.clear();
    std::string text;
    if (bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF && static_cast<BYTE>(bytes[1]) == 0xFE) {
        text = FromUtf16(bytes.substr(2));
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = std::string(bytes.substr(3));
    } else {
        text = std::string(bytes);
    }
    // Logical lines: CR removed, backslash continuations joined.
    std::vector<std::pair<size_t, std::string>> lines;
    size_t number = 0;
    bool continued = false;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (continued) {
            size_t first = line.find_first_not_of(" \t");
            lines.back().second += first == std::string::npos ? "" : line.substr(first);
        } else {
            lines.emplace_back(number, line);
        }
        std::string& last = lines.back().second;
        continued = !last.empty() && last.back() == '\\' && last.find("=hex") != std::string::npos;
        if (continued) {
            last.pop_back();
        }
    }
    size_t index = 0;
    while (index < lines.size() && lines[index].second.find_first_not_of(" \t") == std::string::npos) {
        ++index;
    }
    if (index == lines.size() ||
        (lines[index].second != kRegFileHeader && lines[index].second != "REGEDIT4")) {
        error = "not a registry script (the first line must be \"" + std::string(kRegFileHeader) + "\")";
        return false;
    }
    bool unicodeFile = lines[index].second == kRegFileHeader;
    try {
        for (++index; index < lines.size(); ++index) {
            number = lines[index].first;
            const std::string& raw = lines[index].second;
            size_t first = raw.find_first_not_of(" \t");
            if (first == std::string::npos || raw[first] == ';') {
                continue;
            }
            std::string line = raw.substr(first);
            if (line[0] == '[') {
                size_t close = line.rfind(']');
                if (close == std::string::npos || close < 2) {
                    throw LineError{"malformed key line"};
                }
                RegFileKey key;
                key.remove = line[1] == '-';
                key.path = line.substr(key.remove ? 2 : 1, close - (key.remove ? 2 : 1));
                keys.push_back(key);
            } else if (line[0] == '"' || line[0] == '@') {
                if (keys.empty() || keys.back().remove) {
                    throw LineError{"value outside a key section"};
                }
                keys.back().values.push_back(ParseValueLine(line, unicodeFile));
            } else {
                throw LineError{"unexpected text"};
            }
        }
    } catch (const LineError& e) {
        keys.clear();
        error = "line " + std::to_string(number) + ": " + e.reason;
        return false;
    }
    return true;
}

}  // namespace tarvo::tools
