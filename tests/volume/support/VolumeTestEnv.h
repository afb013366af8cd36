// VolumeTestEnv.h --- fixture pieces for the volume tests: a private TARVO_HOME and a report recorder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "volume/MessageIds.h"

namespace tarvo::volume::testing {

struct RecordedReport {
    app::MessageId id;
    std::string s1;
};

// Gives each test its own data folder and records the volume layer's reports.
class VolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-volume-XXXXXX";
        m_home = mkdtemp(pattern);
        setenv("TARVO_HOME", m_home.c_str(), 1);
        SetReportObserver([this](app::MessageId id, const char* s1, const char*) {
            m_reports.push_back({id, s1 ? s1 : ""});
        });
    }
    void TearDown() override {
        SetReportObserver(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    bool Reported(app::MessageId id, const std::string& s1) const {
        for (const auto& r : m_reports)
            if (r.id == id && r.s1 == s1) return true;
        return false;
    }
    std::string m_home;
    std::vector<RecordedReport> m_reports;
};

}  // namespace tarvo::volume::testing
