// Waiting for a whole program: the installer or uninstaller with every
// process it starts, run by the stand-in spawner.exe under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kestril/run.h"
#include "test_support.h"
#include "ui/process.h"

namespace {

const std::string kSpawner = KESTRIL_SPAWNER;

// The spawner copied into dir; its DOS path.
std::string spawnerIn(const test::TempDir& dir) {
    std::filesystem::copy_file(kSpawner, dir.host("spawner.exe"));
    return dir.dos("spawner.exe");
}

bool exists(const std::string& dos_path) {
    return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
}

// Waits up to ten seconds for the first process of program to end.
bool firstProcessEnds(const ui::WatchedProgram& program) {
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, program.process_id());
    if (!p) return true; // gone already
    bool ended = WaitForSingleObject(p, 10000) == WAIT_OBJECT_0;
    CloseHandle(p);
    return ended;
}

// Waits up to ten seconds for a file a child writes at its end.
bool appears(const std::string& dos_path) {
    for (int i = 0; i < 200 && !exists(dos_path); ++i)
        Sleep(50);
    return exists(dos_path);
}

TEST(WatchedProgram, RunsUntilTheLastProcessOfTheJobHasEnded) {
    // The first process returns at once, or is killed while it holds on:
    // either way its child still runs and is waited for.
    struct Case {
        const char* mode;
        bool kill_first;
    };
    for (const Case& c : {Case{"start", false}, Case{"hold", true}}) {
        SCOPED_TRACE(c.mode);
        test::TempDir dir;
        const std::string stamp = dir.dos("ended");
        ui::WatchedProgram program;
        ASSERT_TRUE(program.start(kestril::installerCommandLine(spawnerIn(dir)) + " " + c.mode +
                                      " run 1500 - " + stamp,
                                  dir.dos("")));
        EXPECT_EQ(program.watch(), ui::WatchedProgram::Watch::Job);
        EXPECT_NE(program.job(), nullptr);
        if (c.kill_first) {
            Sleep(700); // time for the child to start
            HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, program.process_id());
            ASSERT_NE(p, nullptr);
            TerminateProcess(p, 1);
            CloseHandle(p);
        }
        ASSERT_TRUE(firstProcessEnds(program));
        EXPECT_TRUE(program.running()) << "the child runs on";
        EXPECT_FALSE(exists(stamp));
        EXPECT_FALSE(program.wait(100)) << "a bounded wait ends while the child runs";
        ASSERT_TRUE(program.wait(15000));
        EXPECT_TRUE(exists(stamp)) << "the wait ended after the child";
        EXPECT_FALSE(program.running());
    }
}

TEST(WatchedProgram, WithoutAJobOnlyTheFirstProcessIsWatched) {
    // No job could be created, or the handle is no job (as when this process
    // sits in a job that allows no other): the program still starts.
    for (bool event : {false, true}) {
        SCOPED_TRACE(event ? "not a job" : "no job");
        test::TempDir dir;
        const std::string stamp = dir.dos("ended");
        ui::JobHook previous = ui::set_job_hook(
            [event] { return event ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr; });
        ui::WatchedProgram program;
        bool started = program.start(
            kestril::installerCommandLine(spawnerIn(dir)) + " start run 1500 - " + stamp, "");
        ui::set_job_hook(std::move(previous));
        ASSERT_TRUE(started);
        EXPECT_EQ(program.watch(), ui::WatchedProgram::Watch::PrimaryOnly);
        EXPECT_EQ(program.job(), nullptr);
        ASSERT_TRUE(program.wait(10000));
        EXPECT_FALSE(exists(stamp)) << "the child was not waited for";
        EXPECT_TRUE(appears(stamp)) << "yet it ran";
    }
}

TEST(WatchedProgram, AProgramThatCannotStartIsNotWatched) {
    ui::WatchedProgram program;
    EXPECT_FALSE(program.start("\"C:\\no such folder\\no-such-setup.exe\"", ""));
    EXPECT_EQ(program.watch(), ui::WatchedProgram::Watch::None);
    EXPECT_FALSE(program.running());
    EXPECT_TRUE(program.wait(0));
}

TEST(InstallerCommandLine, QuotesThePathAndRunsPackagesThroughMsiexec) {
    const std::string msiexec = "\"" + platform::system_directory() + "\\msiexec.exe\" /i ";
    struct Case {
        const char* path;
        std::string line;
    };
    for (const Case& c : {
             Case{"C:\\setup.exe", "\"C:\\setup.exe\""},
             Case{"C:\\My Setup\\set up.exe", "\"C:\\My Setup\\set up.exe\""},
             Case{"C:\\dl\\Tool.MSI", msiexec + "\"C:\\dl\\Tool.MSI\""},
             Case{"C:\\a b\\tool.msi", msiexec + "\"C:\\a b\\tool.msi\""},
             Case{"C:\\dl\\msi.exe", "\"C:\\dl\\msi.exe\""},
         })
        EXPECT_EQ(kestril::installerCommandLine(c.path), c.line) << c.path;
}

TEST(InstallerCommandLine, ASetupPathWithBlanksAndNonAsciiLettersStarts) {
    test::TempDir dir;
    const std::string folder = "Setup \xC3\x96rdner \xC3\xBC"; // "Setup Ördner ü"
    std::filesystem::create_directories(std::filesystem::u8path(dir.host(folder)));
    std::filesystem::copy_file(kSpawner,
                               std::filesystem::u8path(dir.host(folder + "/set up \xC3\xA9.exe")));
    const std::string setup = dir.dos(folder + "\\set up \xC3\xA9.exe");
    const std::string stamp = dir.dos("ended");
    ui::WatchedProgram program;
    ASSERT_TRUE(program.start(kestril::installerCommandLine(setup) + " run 0 - " + stamp,
                              kestril::installerDirOf(setup)));
    ASSERT_TRUE(program.wait(10000));
    EXPECT_TRUE(exists(stamp));
}

} // namespace
