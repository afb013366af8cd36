// MessageIds.cpp --- the volume layer's path to the logger.
#include "volume/MessageIds.h"

namespace tarvo::volume {

namespace {
ReportObserver& Observer() {
    static ReportObserver observer;
    return observer;
}
}  // namespace

void VolumeReport(app::MessageId id, const char* s1, const char* s2) {
    if (const auto& observer = Observer()) observer(id, s1, s2);
    app::Report(id, s1, s2);
}

void SetReportObserver(ReportObserver observer) { Observer() = std::move(observer); }

}  // namespace tarvo::volume
