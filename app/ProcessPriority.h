// ProcessPriority.h --- the NormalPriority setting and the process priority classes it stands for.
#pragma once

#include "platform/process/Priority.h"

namespace tarvo::app {

// The NormalPriority value of the process's present priority class. Non-standard
// classes are brought back to the three the setting knows: realtime becomes high,
// any other class than idle, normal and high becomes idle.
int AdjustProcessPriority();

// The process priority class for a NormalPriority value: 1 normal, 2 high, else idle.
platform::DWORD PriorityClassOfSetting(int priority);

}  // namespace tarvo::app
