// FatDirectory.cpp --- long-name assembly, 8.3 names and FAT time stamps.
#include "platform/fat/FatDirectory.h"

#include "platform/fat/FatEndian.h"

namespace tarvo::platform {

namespace {

constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrVolumeId = 0x08;

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 units of a long name to UTF-8; false when a unit cannot stand in a path.
bool LongNameToUtf8(const std::vector<uint16_t>& units, std::string& out) {
    out.clear();
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u == 0) {
            break;
        }
        if (u < 0x20 || u == '/' || u == '\\' || u == 0xFFFF) {
            return false;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            return false;
        }
        AppendUtf8(out, u);
    }
    return !out.empty() && out != "." && out != "..";
}

// One 8.3 field with the bytes a path cannot carry replaced, optionally in lower case.
std::string ShortField(const uint8_t* p, size_t n, bool lower) {
    size_t len = n;
    while (len > 0 && p[len - 1] == ' ') {
        --len;
    }
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        uint8_t c = p[i];
        if (c < 0x20 || c == '/' || c == '\\') {
            c = '_';
        }
        if (lower && c >= 'A' && c <= 'Z') {
            c = static_cast<uint8_t>(c - 'A' + 'a');
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string ShortName(const uint8_t* e, bool lowerBase, bool lowerExt) {
    uint8_t name[11];
    for (int i = 0; i < 11; ++i) {
        name[i] = e[i];
    }
    if (name[0] == 0x05) {
        name[0] = 0xE5;
    }
    std::string base = ShortField(name, 8, lowerBase);
    std::string ext = ShortField(name + 8, 3, lowerExt);
    if (base.empty()) {
        base.push_back('_');
    }
    if (!ext.empty()) {
        base.push_back('.');
        base.append(ext);
    }
    return base;
}

int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int64_t{era} * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

uint8_t ShortNameChecksum(const uint8_t* name11) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) {
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    }
    return sum;
}

FILETIME FatTimeToFileTime(uint16_t date, uint16_t time) {
    unsigned year = 1980 + (date >> 9);
    unsigned month = (date >> 5) & 0xF;
    unsigned day = date & 0x1F;
    if (month < 1 || month > 12 || day < 1) {
        month = 1;
        day = 1;
    }
    unsigned hours = (time >> 11) & 0x1F, minutes = (time >> 5) & 0x3F, seconds = (time & 0x1F) * 2;
    // Seconds from 1601-01-01 to 1970-01-01: 11644473600.
    int64_t unixSeconds = DaysFromCivil(static_cast<int>(year), month, day) * 86400 +
                          int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds;
    uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::vector<FatDirEntry> DecodeFatDirectory(const uint8_t* bytes, size_t length, FatFlavor flavor) {
    std::vector<FatDirEntry> out;
    std::vector<uint16_t> units;  // the long name being assembled, in order
    int expectedOrdinal = 0;      // the ordinal the next long-name entry must carry; 0 = none pending
    uint8_t checksum = 0;
    bool longComplete = false;
    for (size_t index = 0; index * 32 + 32 <= length; ++index) {
        const uint8_t* e = bytes + index * 32;
        if (e[0] == 0x00) {
            break;
        }
        if (e[0] == 0xE5) {
            expectedOrdinal = 0;
            longComplete = false;
            continue;
        }
        if ((e[11] & 0x3F) == kAttrLongName) {
            int ordinal = e[0] & 0x1F;
            if ((e[0] & 0x40) != 0) {
                longComplete = false;
                expectedOrdinal = 0;
                if (ordinal < 1 || ordinal > 20) {
                    continue;
                }
                units.assign(size_t(ordinal) * 13, 0xFFFF);
                expectedOrdinal = ordinal;
                checksum = e[13];
            } else if (expectedOrdinal == 0 || ordinal != expectedOrdinal || e[13] != checksum) {
                expectedOrdinal = 0;
                longComplete = false;
                continue;
            }
            static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            for (int i = 0; i < 13; ++i) {
                units[size_t(ordinal - 1) * 13 + i] = fat::Le16(e + kOffsets[i]);
            }
            --expectedOrdinal;
            longComplete = expectedOrdinal == 0;
            continue;
        }
        bool haveLong = longComplete && ShortNameChecksum(e) == checksum;
        longComplete = false;
        expectedOrdinal = 0;
        if ((e[11] & kAttrVolumeId) != 0 || e[0] == '.') {
            continue;
        }
        FatDirEntry entry;
        entry.shortName = ShortName(e, false, false);
        entry.hasLongName = haveLong && LongNameToUtf8(units, entry.longName);
        if (!entry.hasLongName) {
            entry.longName = ShortName(e, (e[12] & 0x08) != 0, (e[12] & 0x10) != 0);
        }
        entry.attributes = e[11];
        entry.writeTime = fat::Le16(e + 22);
        entry.writeDate = fat::Le16(e + 24);
        entry.size = fat::Le32(e + 28);
        entry.firstCluster = fat::Le16(e + 26);
        if (flavor == FatFlavor::Fat32) {
            entry.firstCluster |= uint32_t{fat::Le16(e + 20)} << 16;
        }
        entry.index = index;
        out.push_back(std::move(entry));
    }
    return out;
}

}  // namespace tarvo::platform
