// DesktopEntryTest.cpp --- tarvoctl install writes a desktop entry and icon where asked, with a quoted Exec line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

class DesktopEntry : public ProgramTest {
protected:
    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // A folder with a TarvoDefrag in it, named as a hostile user might name it.
    std::string BinFolder(const std::string& name) {
        const std::string folder = m_home + "/" + name;
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/TarvoDefrag") << "#!/bin/sh\n";
        return folder;
    }
};

TEST_F(DesktopEntry, PrefixGetsTheEntryAndIconWithAQuotedExecLine) {
    const std::string bin = BinFolder("my \"bin\" $HOME");
    const std::string prefix = m_home + "/prefix";
    ProgramResult run = Run("tarvoctl", {"install", "--bindir", bin, "--prefix", prefix});
    ASSERT_EQ(run.status, 0) << run.output;

    const std::string entry = Read(prefix + "/share/applications/tarvo-defrag.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    for (const char* line : {"Type=Application\n", "Name=Tarvo Defrag\n", "Icon=tarvo-defrag\n", "Terminal=false\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line << entry;
    // Quotes, $ and the backslashes that escape them, each backslash doubled once more.
    EXPECT_NE(entry.find("Exec=\"" + m_home + "/my \\\\\"bin\\\\\" \\\\$HOME/TarvoDefrag\"\n"), std::string::npos)
        << entry;
    const std::string icon = Read(prefix + "/share/icons/hicolor/scalable/apps/tarvo-defrag.svg");
    EXPECT_NE(icon.find("<svg"), std::string::npos);
    // Nothing went to the default place.
    EXPECT_FALSE(std::filesystem::exists(m_home + "/share/applications"));
}

TEST_F(DesktopEntry, DefaultPlaceIsTheDataHomeAndNoDesktopWritesNone) {
    const std::string bin = BinFolder("bin");
    ASSERT_EQ(Run("tarvoctl", {"install", "--bindir", bin, "--no-desktop"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(m_home + "/share"));

    ProgramResult run = Run("tarvoctl", {"install", "--bindir", bin});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(std::filesystem::exists(m_home + "/share/applications/tarvo-defrag.desktop"));
    EXPECT_TRUE(std::filesystem::exists(m_home + "/share/icons/hicolor/scalable/apps/tarvo-defrag.svg"));
    // A second install replaces the files and leaves no temporary ones.
    ASSERT_EQ(Run("tarvoctl", {"install", "--bindir", bin}).status, 0);
    int files = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(m_home + "/share"))
        files += item.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);
}

TEST_F(DesktopEntry, UnwritablePrefixAndMissingValuesFail) {
    const std::string bin = BinFolder("bin");
    std::ofstream(m_home + "/file") << "x";
    ProgramResult blocked = Run("tarvoctl", {"install", "--bindir", bin, "--prefix", m_home + "/file"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.output.find("cannot write the desktop entry"), std::string::npos) << blocked.output;
    EXPECT_EQ(Run("tarvoctl", {"install", "--bindir", bin, "--prefix"}).status, 2);
}

// With a display, a command-line run keeps the window hidden and ends with its list.
TEST_F(DesktopEntry, CommandLineRunWithADisplayEndsWithItsList) {
    const char* xvfb = "/usr/bin/xvfb-run";
    if (!std::filesystem::exists(xvfb)) GTEST_SKIP() << "xvfb-run is missing";
    MapSim("C", "NTFS", 8000, 80);
    ProgramResult run = Run(xvfb, {"-a", "-s", "-screen 0 1024x768x24", BinPath("TarvoDefrag"), "/SPACE:C", "/LOG:4"});
    EXPECT_EQ(run.status, 0) << run.output;
    ProgramResult log = Run("tarvoctl", {"eventlog"});
    EXPECT_NE(log.output.find("SPACE-defragmentation has completed for drive C:"), std::string::npos) << log.output;
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
}

}  // namespace
}  // namespace tarvo::e2e
