// The report file's text, the text of registry data, and the search for an
// application's own uninstaller.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "monitor/file_changes.h"
#include "monitor/registry_snapshot.h"
#include "monitor/report.h"
#include "monitor/run_state.h"
#include "monitor_support.h"

namespace {

using namespace monitor;
constexpr std::int32_t kCU = static_cast<std::int32_t>(platform::kHkeyCurrentUser);
constexpr std::int32_t kLM = static_cast<std::int32_t>(platform::kHkeyLocalMachine);

const std::uint8_t* bytes(const char* s) {
    return reinterpret_cast<const std::uint8_t*>(s);
}

class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        runError = 0;
        regchanges.clear();
        filechanges.clear();
        dirchanges.clear();
        test::setPath(logPath, dir.dos("vxdlog"));
    }
    void TearDown() override {
        regchanges.clear();
        filechanges.clear();
        dirchanges.clear();
        platform::reg_delete_tree(platform::kHkeyCurrentUser, "Software\\ZarvoReportTest");
    }
    test::TempDir dir;
};

TEST(FormatValueData, EveryType) {
    const struct {
        const char* data;
        std::int32_t size;
        std::int32_t type;
        const char* text;
        const char* label;
    } cases[] = {
        {"hello\0tail", 11, platform::kRegSz, "hello", "STRING"},
        {"\x01\x00\xff", 3, platform::kRegBinary, "0100ff", "BINARY"},
        {"\x01\x00\x00\x00", 4, platform::kRegDword, "1", "DWORD"},
        {"\xfe\xff\xff\xff", 4, platform::kRegDword, "-2", "DWORD"},
        {"\x07\x00", 2, platform::kRegDword, "0700", "DWORD"}, // too short to be a number
        {"%WINDIR%\\app\0", 13, platform::kRegExpandSz, "%WINDIR%\\app", "UNKNOWN"},
        {"one\0two\0\0", 9, platform::kRegMultiSz, "one\\0two", "STRING"},
        {"\x10\x20", 2, 11, "1020", "UNKNOWN"}, // a QWORD's start or any other type: hex
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatValueData(bytes(c.data), c.type, c.size), c.text) << c.type;
        EXPECT_STREQ(typeLabel(c.type), c.label) << c.type;
    }
}

TEST_F(ReportTest, NoChangesGiveTheTwoHeadingsOnly) {
    EXPECT_EQ(reportText(),
              "Kestril Report\r\n\r\n\r\nFile System\r\n-----------\r\n\r\n\r\nWindows "
              "Registry\r\n----------------\r\n");
}

TEST_F(ReportTest, EveryKindOfEntry) {
    // Files as the log gives them: new, new but gone since, replaced.
    std::filesystem::create_directories(dir.host("app"));
    test::write_host_file(dir.host("app/b.exe"), {'b'});
    test::write_host_file(dir.host("app/a.dll"), {'a'});
    test::write_host_file(dir.host("app/gone.txt"), {'g'});
    test::write_host_file(
        dir.host("vxdlog"),
        test::logOf({dir.dos("app\\b.exe"), dir.dos("app\\a.dll"), dir.dos("app\\gone.txt")}));
    ASSERT_EQ(readLog(), 0);
    for (FileChange* f = filechanges.head(); f; f = f->next) {
        if (std::string(f->path).find("a.dll") != std::string::npos) f->kind = FileReplaced;
        if (std::string(f->path).find("gone") != std::string::npos) f->gone = 1;
    }
    ASSERT_EQ(addRegChange(kCU, "Software\\App", nullptr, nullptr, 0, 0, nullptr, 0, 0, KeyNew), 0);
    ASSERT_EQ(addRegChange(kLM, "SOFTWARE\\Classes\\.app", "", nullptr, 0, 0, bytes("App.Doc"), 8,
                           1, ValueNew),
              0);
    ASSERT_EQ(addRegChange(kLM, "SOFTWARE\\SharedDlls", "C:\\x.dll", bytes("\1\0\0\0"), 4, 4,
                           bytes("\2\0\0\0"), 4, 4, ValueChanged),
              0);
    // Gone since (the application's uninstaller removed them): left out.
    ASSERT_EQ(addRegChange(kCU, "Software\\Gone", nullptr, nullptr, 0, 0, nullptr, 0, 0, KeyNew),
              0);
    ASSERT_EQ(addRegChange(kLM, "SOFTWARE\\Classes\\.app", "Gone", nullptr, 0, 0, bytes("x"), 2, 1,
                           ValueNew),
              0);
    regchanges.records[3]->gone = regchanges.records[4]->gone = 1;
    ASSERT_EQ(addRegChange(kLM, "SOFTWARE\\Wild", "blob", bytes(""), 0, 3, bytes("\x01\x00\xff"), 3,
                           3, ValueChanged),
              0);
    ASSERT_EQ(indexRegChanges(), 0);
    std::string app = dir.dos("app");
    platform::lower_case(&app[0]);
    const std::string expected = "Kestril Report\r\n\r\n\r\n"
                                 "File System\r\n-----------\r\n"
                                 "REPLACED > " +
                                 app +
                                 "\\a.dll\r\n"
                                 "NEW > " +
                                 app +
                                 "\\b.exe\r\n"
                                 "\r\n\r\nWindows Registry\r\n----------------\r\n"
                                 "NEW KEY\r\n" // by key path, letter case aside
                                 "  Key > HKEY_CURRENT_USER\\Software\\App\r\n"
                                 "NEW DATA\r\n"
                                 "  Key > HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.app\r\n"
                                 "  Data Name > [Default]\r\n"
                                 "DATA CHANGED\r\n"
                                 "  Key > HKEY_LOCAL_MACHINE\\SOFTWARE\\SharedDlls\r\n"
                                 "  Data Name > C:\\x.dll\r\n"
                                 "  Previous Data > 1\r\n"
                                 "  Previous Type > DWORD\r\n"
                                 "  Current Data > 2\r\n"
                                 "DATA CHANGED\r\n"
                                 "  Key > HKEY_LOCAL_MACHINE\\SOFTWARE\\Wild\r\n"
                                 "  Data Name > blob\r\n"
                                 "No Previous Data\r\n"
                                 "  Current Data > 0100ff\r\n";
    EXPECT_EQ(reportText(), expected);

    std::string path = dir.dos("run.Kes");
    ASSERT_TRUE(writeReportFile(path.c_str()));
    test::Bytes written = test::read_host_file(dir.host("run.Kes"));
    EXPECT_EQ(std::string(written.begin(), written.end()), expected)
        << "every line ends with CR LF, as in a Windows text file";
    EXPECT_FALSE(writeReportFile(dir.dos("no\\such\\folder\\run.Kes").c_str()));
}

TEST_F(ReportTest, TheApplicationsUninstallerIsFoundInItsUninstallKey) {
    EXPECT_EQ(findUninstallKey(), nullptr);
    ASSERT_EQ(addRegChange(kCU, "Software\\App", nullptr, nullptr, 0, 0, nullptr, 0, 0, KeyNew), 0);
    ASSERT_EQ(addRegChange(
                  kCU,
                  "Software\\ZarvoReportTest\\Microsoft\\Windows\\CurrentVersion\\UNINSTALL\\App",
                  nullptr, nullptr, 0, 0, nullptr, 0, 0, KeyNew),
              0);
    ASSERT_EQ(addRegChange(kCU, "Software\\Uninstall\\Other", nullptr, nullptr, 0, 0, nullptr, 0, 0,
                           KeyNew),
              0);
    const RegChange* found = findUninstallKey();
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, regchanges.records[1].get()) << "the first in the order found";

    const std::string key = found->keyPath;
    platform::RegKey k;
    ASSERT_EQ(platform::reg_create(platform::kHkeyCurrentUser, key.c_str(), &k), 0);
    auto set = [&](const char* name, std::uint32_t type, const std::string& value) {
        ASSERT_EQ(platform::reg_set_value(k, name, type, value.c_str(),
                                          static_cast<std::uint32_t>(value.size() + 1)),
                  0);
    };
    set("DisplayName", platform::kRegSz, "App");
    EXPECT_EQ(readUninstallString(kCU, key), 0) << "no uninstall string";
    EXPECT_STREQ(uninstallCommand, "");
    const std::string too_long(300, 'x');
    set("UNINSTALLSTRING", platform::kRegSz, too_long);
    EXPECT_EQ(readUninstallString(kCU, key), 0)
        << "a command cut to fit would start something else";
    EXPECT_STREQ(uninstallCommand, "");
    set("UninstallString", platform::kRegSz, "\"C:\\Program Files\\App\\uninst.exe\" /S");
    EXPECT_EQ(readUninstallString(kCU, key), 1);
    EXPECT_STREQ(uninstallCommand, "\"C:\\Program Files\\App\\uninst.exe\" /S");
    platform::reg_close(k);
    EXPECT_EQ(readUninstallString(kCU, "Software\\ZarvoReportTest\\Missing"), 0);

    // The first program registered makes the Uninstall key itself: the new
    // key is then the parent of the application's own, which a sibling
    // without a command must not hide.
    const std::string parent = key.substr(0, key.rfind('\\'));
    ASSERT_EQ(platform::reg_create(platform::kHkeyCurrentUser, (parent + "\\Aaa").c_str(), &k), 0);
    platform::reg_close(k);
    EXPECT_EQ(readUninstallString(kCU, parent), 1);
    EXPECT_STREQ(uninstallCommand, "\"C:\\Program Files\\App\\uninst.exe\" /S");
}

} // namespace
