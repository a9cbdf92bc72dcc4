// Start-up from the entry point: which message the user sees, the exit status, and
// which files exist afterwards.
#include "support_qt/AppFixture.h"
#include "app/EntryPoint.h"
#include "app/VandrixDiscover.h"
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct StartCase {
    const char* name;
    std::function<void(ClientFolder&)> prepare;
    const char* message;      // the box's text
    const char* filesAfter;   // every path below the client folder afterwards
};

class StartupFailure : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartupFailure, ShowsTheMessageEndsWithZeroAndCreatesOnlyWhatTheEngineCreates)
{
    const StartCase& c = GetParam();
    ClientFolder folder;
    c.prepare(folder);
    int rc = -1;
    const BoxSeen box = WithModalBox([&] { rc = RunVandrixDiscover(); });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), c.message);
    EXPECT_EQ(box.title.toStdString(), "Vandrix discover");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(folder.ListFiles(), c.filesAfter);
    EXPECT_EQ(QCoreApplication::applicationVersion().toStdString(), "1.0.0.9");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFailure,
    ::testing::Values(
        StartCase{"NoSettingsFolder", [](ClientFolder&) {}, "unable to open database.", ""},
        StartCase{"EmptySettingsFolder", [](ClientFolder& f) { f.MakeSettings(); },
                  "no such table: v_vdx_dup_file.",
                  "Settings\nSettings/Vandrix.sqlite\nSettings/Vandrix_log.sqlite\n"},
        StartCase{"SettingsIsAFile",
                  [](ClientFolder& f) { std::ofstream(f.Settings()) << "x"; },
                  "unable to open database.", "Settings\n"},
        StartCase{"DatabasePathIsAFolder",
                  [](ClientFolder& f) {
                      f.MakeSettings();
                      std::filesystem::create_directory(f.Settings() + "/Vandrix.sqlite");
                  },
                  "unable to open database.", "Settings\nSettings/Vandrix.sqlite\n"},
        StartCase{"NotADatabase",
                  [](ClientFolder& f) {
                      f.MakeSettings();
                      std::ofstream(f.Settings() + "/Vandrix.sqlite")
                          << std::string(4096, 'z');
                  },
                  "file is not a database.",
                  "Settings\nSettings/Vandrix.sqlite\nSettings/Vandrix_log.sqlite\n"},
        StartCase{"MissingDuplicatesColumn",
                  [](ClientFolder& f) {
                      f.MakeSettings();
                      f.ExecMain("create table t(tth_id, cnt_dup, path_1, path_2, name_max);"
                                 "create view v_vdx_dup_file as select * from t;");
                  },
                  "no such column: name_min.",
                  "Settings\nSettings/Vandrix.sqlite\nSettings/Vandrix_log.sqlite\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, DatabaseLockedByAnotherConnectionFailsAtOnce)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((folder.Settings() + "/Vandrix.sqlite").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    int rc = -1;
    const BoxSeen box = WithModalBox([&] { rc = RunVandrixDiscover(); });
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), "database is locked.");
    EXPECT_EQ(rc, 0);
}

TEST(Startup, OnlyTheLogFileMissingStartsNormallyAndCreatesIt)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    std::filesystem::remove(folder.Settings() + "/Vandrix_log.sqlite");
    folder.ExecMain("insert into share_file values(1, 2, 'C:/a', 'C:/b', 'film.avi', 'film2.avi');");
    TVandrixDiscover window;
    EXPECT_TRUE(std::filesystem::exists(folder.Settings() + "/Vandrix_log.sqlite"));
    EXPECT_EQ(std::filesystem::file_size(folder.Settings() + "/Vandrix_log.sqlite"), 0u);
    EXPECT_EQ(window.m_DupMemoryData->GetRecordCount(), 1);
}

TEST(Startup, NormalStartShowsDuplicatesPageWithLimitHundred)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    TVandrixDiscover window;
    EXPECT_EQ(window.m_MainPageControl->currentWidget(), window.m_dupTabSheet);
    EXPECT_EQ(window.m_LimitBox->currentText().toStdString(), "100");
    EXPECT_EQ(window.m_MainPageControl->count(), 3);
    EXPECT_TRUE(window.m_DupMemoryData->Active());
    EXPECT_FALSE(window.m_RatioMemoryData->Active());
    EXPECT_FALSE(window.m_LogsData->Active());
    EXPECT_TRUE(window.windowTitle().startsWith("Vandrix discover (r9) SQLite "));
    EXPECT_TRUE(window.windowTitle().endsWith(sqlite3_libversion()));
}

} // namespace
