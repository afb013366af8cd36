// RegCommandTest.cpp --- tarvoctl reg as a user drives it: add, query, delete, export and import.
#include <string>

#include "platform/registry/Registry.h"
#include "tests/tools/reg/ToolRunner.h"

namespace tarvo::tools {
namespace {

using namespace tarvo::platform;
using RegCommandTest = testing::ToolTest;

constexpr const char* kKey = "HKCU\\Software\\Tarvo\\Tarvo Defrag\\Settings";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";
constexpr const char* kDone = "The operation completed successfully.\n";

// A value's raw bytes and type, read in this process.
std::pair<DWORD, std::string> Read(HKEY root, const char* subKey, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {0, "<no key>"};
    }
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    } else {
        data = "<no value>";
    }
    RegCloseKey(key);
    return {type, data};
}

TEST_F(RegCommandTest, AddedValuesQueryBackInTheirTypes) {
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "BlockSize", "/t", "REG_DWORD", "/d", "0x0a"}).out, kDone);
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "WindowPos", "/d", "0,0,640,480"}).exitCode, 0);
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a#b", "/s", "#"}).exitCode,
              0);
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "Raw", "/t", "REG_BINARY", "/d", "00ff7F"}).exitCode, 0);

    auto query = Run({"reg", "query", "hkey_current_user\\software\\tarvo\\tarvo defrag\\settings"});
    EXPECT_EQ(query.exitCode, 0);
    EXPECT_NE(query.out.find("    BlockSize    REG_DWORD    0xa\n"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("    WindowPos    REG_SZ    0,0,640,480\n"), std::string::npos);
    EXPECT_NE(query.out.find("    List    REG_MULTI_SZ    a\\0b\n"), std::string::npos);
    EXPECT_NE(query.out.find("    Raw    REG_BINARY    00FF7F\n"), std::string::npos);

    auto one = Run({"reg", "query", kKey, "/v", "blocksize"});
    EXPECT_EQ(one.out, std::string("\n") + "HKEY_CURRENT_USER\\Software\\Tarvo\\Tarvo Defrag\\Settings\n" +
                           "    BlockSize    REG_DWORD    0xa\n\n");
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", "BlockSize"),
              (std::pair<DWORD, std::string>{REG_DWORD, std::string("\x0a\0\0\0", 4)}));

    auto tree = Run({"reg", "query", "HKCU\\Software", "/s"});
    EXPECT_NE(tree.out.find("HKEY_CURRENT_USER\\Software\\Tarvo\\Tarvo Defrag\\Settings\n    BlockSize"),
              std::string::npos)
        << tree.out;
}

TEST_F(RegCommandTest, ErrorsReadAsRegPrintsThem) {
    auto missing = Run({"reg", "query", "HKLM\\SOFTWARE\\Nothing"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, kNotFound);
    Run({"reg", "add", kKey});
    EXPECT_EQ(Run({"reg", "query", kKey, "/v", "Absent"}).err, kNotFound);
    EXPECT_EQ(Run({"reg", "query", "HKCR\\x"}).err,
              "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n");
    EXPECT_EQ(Run({"reg", "query", kKey, "/v"}).err,
              "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n");
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "a", "/ve"}).err,
              "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n");
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "a", "/t", "REG_WHATEVER"}).exitCode, 1);
    for (const char* bad : {"12x", "-1", "0x100000000", ""}) {
        auto result = Run({"reg", "add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", bad});
        EXPECT_EQ(result.exitCode, 1) << bad;
        EXPECT_NE(result.err.find("numeric"), std::string::npos) << bad;
    }
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "B", "/t", "REG_BINARY", "/d", "abc"}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "frobnicate"}).exitCode, 1);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", "D").second, "<no value>");
}

TEST_F(RegCommandTest, WithoutATerminalOverwriteAndDeleteNeedForce) {
    ASSERT_EQ(Run({"reg", "add", kKey, "/v", "LogLevel", "/t", "REG_DWORD", "/d", "1"}).exitCode, 0);
    auto refused = Run({"reg", "add", kKey, "/v", "LogLevel", "/t", "REG_DWORD", "/d", "4"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("/f"), std::string::npos);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", "LogLevel").second,
              std::string("\x01\0\0\0", 4));
    EXPECT_EQ(Run({"reg", "add", kKey, "/v", "LogLevel", "/t", "REG_DWORD", "/d", "4", "/f"}).exitCode, 0);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", "LogLevel").second,
              std::string("\x04\0\0\0", 4));

    EXPECT_EQ(Run({"reg", "delete", kKey, "/v", "LogLevel"}).exitCode, 1);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", "LogLevel").first,
              REG_DWORD);
    EXPECT_EQ(Run({"reg", "delete", kKey, "/v", "LogLevel", "/f"}).out, kDone);
    EXPECT_EQ(Run({"reg", "delete", kKey, "/v", "LogLevel", "/f"}).err, kNotFound);

    Run({"reg", "add", kKey + std::string("\\Deeper"), "/v", "x", "/d", "y"});
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\Tarvo"}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "delete", "HKCU"}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\Tarvo", "/f"}).exitCode, 0);
    EXPECT_EQ(Run({"reg", "query", "HKCU\\Software\\Tarvo"}).exitCode, 1);
}

TEST_F(RegCommandTest, ExportThenImportRestoresEveryValue) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo\\Round \"Trip\"", &key), ERROR_SUCCESS);
    auto set = [&](const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    };
    set("", REG_SZ, std::string("default\0", 8));
    set("Quote\"And\\Slash", REG_SZ, std::string("C:\\Program Files\\\"x\"\0", 21));
    set("Lines", REG_SZ, std::string("one\r\ntwo\0", 9));
    set("Unicode", REG_SZ, std::string("gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80\0", 12));
    set("Path", REG_EXPAND_SZ, std::string("%SystemRoot%\\Messages.dll\0", 26));
    set("Multi", REG_MULTI_SZ, std::string("a\0bb\0\xc3\xa9\0\0", 9));
    set("Count", REG_DWORD, std::string("\xff\xff\xff\x7f", 4));
    set("Blob", REG_BINARY, std::string(200, '\x5a'));
    set("Empty", REG_BINARY, "");
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo\\Round \"Trip\"\\Child", &key),
              ERROR_SUCCESS);
    set("x", REG_DWORD, std::string("\0\0\0\0", 4));
    RegCloseKey(key);

    std::string first = m_home + "/first.reg";
    ASSERT_EQ(Run({"reg", "export", "HKLM\\SOFTWARE\\Tarvo", first}).exitCode, 0);
    std::string text = ReadFile(first);
    EXPECT_EQ(text.rfind(
                  "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]\r\n", 0),
              0u);
    EXPECT_NE(text.find("\"Count\"=dword:7fffffff\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Quote\\\"And\\\\Slash\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"),
              std::string::npos);

    ASSERT_EQ(Run({"reg", "delete", "HKLM\\SOFTWARE\\Tarvo", "/f"}).exitCode, 0);
    ASSERT_EQ(Run({"reg", "import", first}).out, kDone);
    const char* sub = "SOFTWARE\\Tarvo\\Round \"Trip\"";
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "Lines"),
              (std::pair<DWORD, std::string>{REG_SZ, {"one\r\ntwo\0", 9}}));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "Unicode").second,
              std::string("gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80\0", 12));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "Multi"),
              (std::pair<DWORD, std::string>{REG_MULTI_SZ, {"a\0bb\0\xc3\xa9\0\0", 9}}));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "Path").first, REG_EXPAND_SZ);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "Blob").second, std::string(200, '\x5a'));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, sub, "").second, std::string("default\0", 8));

    // A second export of the imported tree is the same text.
    std::string second = m_home + "/second.reg";
    ASSERT_EQ(Run({"reg", "export", "HKLM\\SOFTWARE\\Tarvo", second}).exitCode, 0);
    EXPECT_EQ(ReadFile(second), text);
    // An existing file is not overwritten without /y.
    EXPECT_EQ(Run({"reg", "export", "HKLM\\SOFTWARE\\Tarvo", second}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "export", "HKLM\\SOFTWARE\\Tarvo", second, "/y"}).exitCode, 0);
}

TEST_F(RegCommandTest, MalformedImportChangesNothing) {
    const std::string good = "[HKEY_CURRENT_USER\\Software\\Imported]\r\n\"A\"=\"1\"\r\n";
    const std::vector<std::string> bad = {
        "\"B\"=dword:123456789\r\n", "\"B\"=hex:zz\r\n", "\"B\"=\"open\r\n",
        "\"B\"=hex(4):01,02\r\n",    "garbage\r\n",
    };
    for (const auto& tail : bad) {
        std::string path = m_home + "/bad.reg";
        std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                              << good << tail;
        auto result = Run({"reg", "import", path});
        EXPECT_EQ(result.exitCode, 1) << tail;
        EXPECT_NE(result.err.find("line 5"), std::string::npos) << result.err;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Imported", "A").second, "<no key>") << tail;
    }
    std::string notReg = m_home + "/not.reg";
    std::ofstream(notReg) << "hello\n";
    EXPECT_EQ(Run({"reg", "import", notReg}).exitCode, 1);
    std::string otherRoot = m_home + "/root.reg";
    std::ofstream(otherRoot) << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\x]\n\"a\"=\"b\"\n";
    EXPECT_EQ(Run({"reg", "import", otherRoot}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "import", m_home + "/absent.reg"}).exitCode, 1);
}

TEST_F(RegCommandTest, ImportReadsUtf16FilesAndDeletions) {
    std::string text =
        "Windows Registry Editor Version "
        "5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\U]\r\n\"Name\"=\"v\xc3\xa9\"\r\n"
        "\"E\"=hex(2):41,00,\\\r\n  42,00,00,00\r\n\"Gone\"=-\r\n[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    std::string utf16 = "\xff\xfe";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0xc3) {  // the one two-byte character above, é
            utf16 += '\xe9';
            utf16 += '\0';
            ++i;
            continue;
        }
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    Run({"reg", "add", "HKCU\\Software\\U", "/v", "Gone", "/d", "x"});
    Run({"reg", "add", "HKCU\\Software\\Old\\Sub", "/v", "x", "/d", "y"});
    std::string path = m_home + "/utf16.reg";
    std::ofstream(path, std::ios::binary) << utf16;
    ASSERT_EQ(Run({"reg", "import", path}).exitCode, 0);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\U", "Name").second, std::string("v\xc3\xa9\0", 4));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\U", "E"),
              (std::pair<DWORD, std::string>{REG_EXPAND_SZ, {"AB\0", 3}}));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\U", "Gone").second, "<no value>");
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Old\\Sub", "x").second, "<no key>");
}

}  // namespace
}  // namespace tarvo::tools
