// SystemIntegrationTest.cpp --- default-defragmenter offer, boot-execute list, page-file flag, paths, user check.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "app/OwnCommand.h"
#include "app/RegistryValues.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "app/SystemIntegration.h"
#include "platform/drives/Drives.h"
#include "platform/process/PathResolver.h"
#include "platform/sim/SimGenerator.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;
using testing::QueryRaw;
using testing::SetRawValue;
using testing::TempHomeTest;

class SystemIntegrationTest : public TempHomeTest {
protected:
    std::string BootExecute() {
        DWORD type = REG_NONE;
        return QueryRaw(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, &type);
    }
    DWORD DwordAt(const char* key, const char* name) {
        DWORD type = REG_NONE;
        std::string raw = QueryRaw(HKEY_LOCAL_MACHINE, key, name, &type);
        DWORD value = 0xFFFFFFFF;
        if (type == REG_DWORD && raw.size() == 4) std::memcpy(&value, raw.data(), 4);
        return value;
    }
};

TEST_F(SystemIntegrationTest, OwnCommandEndsWithTheQuotedExeEvenForABareStart) {
    EXPECT_EQ(OwnCommandOf("\"C:\\TOOLS\\TarvoDefrag.exe\" /SPACE:C"), "\"C:\\TOOLS\\TarvoDefrag.exe\"");
    EXPECT_EQ(OwnCommandOf("TarvoDefrag.exe /SPACE:C"), "TarvoDefrag.exe\"");
    // Our own command line names the running binary under its Windows name.
    const std::string own = OwnCommand();
    EXPECT_EQ(own.front(), '"');
    EXPECT_TRUE(own.ends_with(".exe\""));
}

TEST_F(SystemIntegrationTest, OfferAnswersStoreTheCheckBoxAndYesRegistersTheProgram) {
    EXPECT_FALSE(IsDefaultDefragmenter());
    EXPECT_TRUE(ShouldOfferDefault());
    AnswerDefaultOffer(OfferAnswer::Yes, 0);
    EXPECT_TRUE(IsDefaultDefragmenter());
    EXPECT_FALSE(ShouldOfferDefault());

    // A bare start's command never equals the registered one: the offer comes back.
    WriteString(HKEY_LOCAL_MACHINE, kDefragPathKey, "", OwnCommandOf("TarvoDefrag.exe"));
    EXPECT_TRUE(ShouldOfferDefault());
    AnswerDefaultOffer(OfferAnswer::No, 1);
    EXPECT_FALSE(ShouldOfferDefault());
    CSettings stored;
    stored.Load();
    EXPECT_TRUE(stored.DontAskUserAgain());
}

TEST_F(SystemIntegrationTest, BootServiceIsAddedOnceAndRemovedKeepingOtherEntriesInOrder) {
    // A fresh system has no list: switching on must still work.
    ASSERT_TRUE(SetBootService(1));
    ASSERT_TRUE(SetBootService(1));
    EXPECT_EQ(BootExecute(), std::string("TarvoNTStart\0\0", 14));
    EXPECT_EQ(DwordAt(kBootServiceKey, "run"), 1u);

    SetRawValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, REG_MULTI_SZ,
                std::string("autocheck autochk *\0TarvoNTStart\0other\0\0", 40));
    ASSERT_TRUE(SetBootService(0));
    EXPECT_EQ(BootExecute(), std::string("autocheck autochk *\0other\0\0", 27));
    EXPECT_EQ(DwordAt(kBootServiceKey, "run"), 0u);
    EXPECT_FALSE(IsBootServiceRegistered());
    // Matching is exact and case-sensitive.
    SetRawValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, REG_MULTI_SZ,
                std::string("tarvontstart\0\0", 14));
    EXPECT_FALSE(IsBootServiceRegistered());
}

TEST_F(SystemIntegrationTest, BootExecuteOfTheWrongTypeIsLeftAloneAndReportedAsFailure) {
    SetRawValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, REG_SZ, std::string("autochk\0", 8));
    EXPECT_FALSE(SetBootService(1));
    DWORD type = REG_NONE;
    EXPECT_EQ(QueryRaw(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, &type), std::string("autochk\0", 8));
    EXPECT_EQ(type, REG_SZ);
}

TEST_F(SystemIntegrationTest, PageFileFlagFollowsTheRegistrationAtExit) {
    WriteDword(HKEY_LOCAL_MACHINE, kMemoryManagementKey, kClearPageFileValue, 1);
    Settings().Load(&IsBootServiceRegistered);
    WritePageFileFlag();
    EXPECT_EQ(DwordAt(kMemoryManagementKey, kClearPageFileValue), 0u);
    ASSERT_TRUE(SetBootService(1));
    Settings().Load(&IsBootServiceRegistered);
    WritePageFileFlag();
    EXPECT_EQ(DwordAt(kMemoryManagementKey, kClearPageFileValue), 1u);
}

TEST_F(SystemIntegrationTest, InstalledPathGivesTheSchedulerPathAndResolvesToTheProgram) {
    EXPECT_EQ(SchedulerPath(), "");
    const std::string bin = std::string(TARVO_BINARY_DIR) + "/bin";
    ASSERT_TRUE(RegisterApplicationPath(bin));
    std::string upper = bin + "\\TARVOSCDEF.EXE";
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(SchedulerPath(), upper);
    // The registered program path keeps its ".exe"; the resolver finds the binary behind it.
    const std::string program = ReadString(HKEY_LOCAL_MACHINE, LoadString(IDS_APP_PATH_KEY).c_str(), "");
    EXPECT_TRUE(program.ends_with("\\TarvoDefrag.exe"));
    if (std::filesystem::exists(bin + "/TarvoDefrag")) {
        auto resolved = ResolveProgramPath(program);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_EQ(std::filesystem::path(*resolved).filename(), "TarvoDefrag");
    }
}

TEST_F(SystemIntegrationTest, UserCheckNeedsDriveCOnlyWhereItIsMapped) {
    EXPECT_TRUE(CheckUser().administrator);  // nothing mapped yet

    SimGenerateOptions options;
    options.clusters = 4096;
    options.files = 20;
    SimGenerateSummary summary;
    std::string error;
    auto volume = GenerateSimVolume(options, summary, error);
    ASSERT_TRUE(volume) << error;
    ASSERT_TRUE(volume->SaveAs(m_home + "/d.sim", error)) << error;
    ASSERT_TRUE(MapDrive('D', m_home + "/d.sim", error)) << error;
    EXPECT_TRUE(CheckUser().administrator);  // no C:, but D opens

    std::ofstream(m_home + "/broken.img") << "not a volume";
    ASSERT_TRUE(MapDrive('C', m_home + "/broken.img", error)) << error;
    const UserCheck refused = CheckUser();
    EXPECT_FALSE(refused.administrator);  // C: is mapped and does not open
    EXPECT_FALSE(refused.userName.empty());
    EXPECT_TRUE(refused.sid.starts_with("S-1-22-1-"));

    CTarvoApp application;
    EXPECT_FALSE(application.InitInstance({}));
    EXPECT_EQ(application.Failure(), StartFailure::NotAdministrator);
}

}  // namespace
}  // namespace tarvo::app
