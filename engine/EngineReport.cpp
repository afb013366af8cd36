// EngineReport.cpp --- the engine's one reporting function.
#include "engine/EngineReport.h"

namespace tarvo::engine {

namespace {
EngineReportObserver& Observer() {
    static EngineReportObserver* observer = new EngineReportObserver();
    return *observer;
}
}  // namespace

void EngineReport(app::MessageId id, const char* s1, const char* s2, const char* s3, const char* s4, const char* s5,
                  const char* s6) {
    if (Observer()) {
        std::vector<std::string> strings;
        for (const char* s : {s1, s2, s3, s4, s5, s6}) {
            if (!s) break;
            strings.emplace_back(s);
        }
        Observer()(id, strings);
    }
    app::Report(id, s1, s2, s3, s4, s5, s6);
}

void SetEngineReportObserver(EngineReportObserver observer) { Observer() = std::move(observer); }

}  // namespace tarvo::engine
