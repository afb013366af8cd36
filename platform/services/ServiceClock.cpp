// ServiceClock.cpp --- the movable clock.
#include "platform/services/ServiceClock.h"

#include <cstdlib>

namespace tarvo::platform {

namespace {
bool ReadNumber(const char* name, long long& value) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != nullptr && *end == '\0';
}
}  // namespace

time_t ScheduleNow() {
    long long value = 0;
    if (ReadNumber("TARVO_CLOCK_FREEZE", value)) {
        return static_cast<time_t>(value);
    }
    time_t now = std::time(nullptr);
    if (ReadNumber("TARVO_CLOCK_OFFSET", value)) {
        now += static_cast<time_t>(value);
    }
    return now;
}

}  // namespace tarvo::platform
