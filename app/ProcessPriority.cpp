// ProcessPriority.cpp --- mapping between the NormalPriority setting and process priority classes.
#include "app/ProcessPriority.h"

namespace tarvo::app {

using namespace tarvo::platform;

int AdjustProcessPriority() {
    switch (GetPriorityClass(GetCurrentProcess())) {
        case NORMAL_PRIORITY_CLASS:
            return 1;
        case IDLE_PRIORITY_CLASS:
            return 0;
        case HIGH_PRIORITY_CLASS:
            return 2;
        case REALTIME_PRIORITY_CLASS:
            SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
            return 2;
        default:
            // Below or above normal (a nice value the user gave the program).
            SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
            return 0;
    }
}

DWORD PriorityClassOfSetting(int priority) {
    switch (priority) {
        case 1:
            return NORMAL_PRIORITY_CLASS;
        case 2:
            return HIGH_PRIORITY_CLASS;
        default:
            return IDLE_PRIORITY_CLASS;
    }
}

}  // namespace tarvo::app
