// PathResolverTest.cpp --- Windows-style program and folder paths found on the Linux tree.
#include "platform/process/PathResolver.h"

#include <cstring>

#include "platform/registry/Registry.h"
#include "tests/platform/process/ProcessTestSupport.h"

using namespace tarvo::platform;

class PathResolver : public TempHomeTest {};

TEST_F(PathResolver, FindsProgramsCaseInsensitivelyWithAndWithoutExe) {
    std::string program = WriteRecorder(m_root + "/Tools/Bin/TarvoDefrag", m_root + "/log");
    std::string windows = "Z:" + m_root + "/TOOLS/BIN/TARVODEFRAG";
    std::replace(windows.begin(), windows.end(), '/', '\\');
    EXPECT_EQ(ResolveProgramPath(windows), program);
    EXPECT_EQ(ResolveProgramPath(windows + ".EXE"), program);
    EXPECT_EQ(ResolveProgramPath(m_root + "\\tools\\bin\\tarvodefrag.exe"), program);
    EXPECT_EQ(ResolveProgramPath("\"" + windows + "\""), program);
}

TEST_F(PathResolver, AddsTheImpliedExeWhenTheFileHasIt) {
    std::string program = WriteRecorder(m_root + "/bin/Setup.exe", m_root + "/log");
    EXPECT_EQ(ResolveProgramPath(m_root + "/BIN/SETUP"), program);
}

TEST_F(PathResolver, RefusesWhatIsNoExecutableProgram) {
    std::filesystem::create_directories(m_root + "/dir/Folder");
    std::ofstream(m_root + "/dir/data.txt") << "x";
    EXPECT_FALSE(ResolveProgramPath(m_root + "/dir/Folder"));
    EXPECT_FALSE(ResolveProgramPath(m_root + "/dir/data.txt"));
    EXPECT_FALSE(ResolveProgramPath("\\\\server\\share\\prog.exe"));
    EXPECT_FALSE(ResolveProgramPath("Q:\\NOWHERE\\PROG.EXE"));
    EXPECT_FALSE(ResolveProgramPath(""));
}

TEST_F(PathResolver, DriveLetterFolderLinksAndParentSteps) {
    std::string program = WriteRecorder(m_root + "/cdrive/Windows/Notepad", m_root + "/log");
    std::filesystem::create_directories(m_root + "/home/dosdevices");
    std::filesystem::create_directory_symlink(m_root + "/cdrive", m_root + "/home/dosdevices/c:");
    EXPECT_EQ(ResolveProgramPath("C:\\WINDOWS\\SYSTEM32\\..\\NOTEPAD.EXE"),
              m_root + "/home/dosdevices/c:/Windows/Notepad");
    EXPECT_EQ(ResolveWindowsPath("c:\\windows"), m_root + "/home/dosdevices/c:/Windows");
}

TEST_F(PathResolver, FallsBackToTheApplicationPathKey) {
    std::string program = WriteRecorder(m_root + "/build/bin/TarvoDefrag", m_root + "/log");
    HKEY key = nullptr;
    std::string subKey = std::string(kAppPathsKey) + "\\TarvoDefrag.exe";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const char* full = "C:\\TOOLS\\TarvoDefrag.exe";
    std::string folder = m_root + "/build/bin";
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(full), std::strlen(full) + 1);
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), folder.size() + 1);
    RegCloseKey(key);
    // The job command names the program as the scheduler wrote it: upper case, no ".EXE".
    EXPECT_EQ(ResolveProgramPath("C:\\TOOLS\\TARVODEFRAG"), program);
    EXPECT_EQ(ResolveProgramPath("TARVODEFRAG.EXE"), program);
    EXPECT_FALSE(ResolveProgramPath("C:\\TOOLS\\OTHER.EXE"));
}
