// EngineReport.h --- how the engine reports: through the logger, seen first by an optional observer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Logger.h"
#include "app/MessageIds.h"

namespace tarvo::engine {

// Reports through the logger (app::Report) after telling the observer, if any.
// Up to six insertion strings; they count up to the first null.
void EngineReport(app::MessageId id, const char* s1 = nullptr, const char* s2 = nullptr, const char* s3 = nullptr,
                  const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr);

// Sees every engine report with its insertion strings before the logger does
// (tests, the console's verbose mode). Null removes it. Install it before a run starts.
using EngineReportObserver = std::function<void(app::MessageId id, const std::vector<std::string>& strings)>;
void SetEngineReportObserver(EngineReportObserver observer);

}  // namespace tarvo::engine
