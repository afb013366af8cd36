// Presenter.cpp --- figures shared by every presenter: the fragmented share and the log's time column.
#include "app/Presenter.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace tarvo::app {
namespace {

// A decimal count from an insertion string; anything else reads as 0.
unsigned long long ParseCount(const std::string& text) {
    if (text.empty() || text[0] == '-')
        return 0;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE)
        return 0;
    return value;
}

}  // namespace

FragmentedShare ComputeFragmentedShare(const std::string& totalFiles, const std::string& fragmentedNow) {
    unsigned long long total = ParseCount(totalFiles);
    unsigned long long now = ParseCount(fragmentedNow);
    unsigned long long hundredths = 10000;  // 100.00% when there are no files
    if (total != 0) {
        unsigned __int128 scaled = static_cast<unsigned __int128>(now) * 10000u / total;
        hundredths = scaled > INT_MAX ? INT_MAX : static_cast<unsigned long long>(scaled);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d%%", static_cast<int>(hundredths / 100),
                  static_cast<int>(hundredths % 100));
    FragmentedShare share;
    share.percentText = text;
    share.barPosition = hundredths > 10000 ? 10000 : static_cast<int>(hundredths);
    return share;
}

std::string FormatLogTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

}  // namespace tarvo::app
