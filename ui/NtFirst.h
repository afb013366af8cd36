// NtFirst.h --- included before any wx header: the platform's TRUE and FALSE constants must be
// declared before the toolkit's C headers define them as macros.
#pragma once

#include "platform/core/NtTypes.h"
