// MethodHandOff.cpp --- the registered COMPLETE entry.
#include "engine/MethodHandOff.h"

#include <atomic>

namespace tarvo::engine {

namespace {
std::atomic<MethodEntry> g_complete{nullptr};
}

void SetCompleteMethodEntry(MethodEntry entry) { g_complete.store(entry); }
MethodEntry CompleteMethodEntry() { return g_complete.load(); }

}  // namespace tarvo::engine
