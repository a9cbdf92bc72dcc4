#include "DemoData.h"

#include "platform/Cp1251.h"
#include "support/DbFixture.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

using namespace sqlite3x;

namespace {

bool LooksLikeVideoDvd(const std::string& name)
{
    // The duplicates statement's rule: V, at least one character, then .VOB/.IFO/.BUP, any case.
    if (name.size() < 6 || (name[0] != 'V' && name[0] != 'v'))
        return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return end == ".VOB" || end == ".IFO" || end == ".BUP";
}

class DemoData : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new vdxtest::TempFolder;
        vdxdemo::DemoOptions o;
        o.rows = 4000;
        o.seed = 7;
        stats = vdxdemo::GenerateDemo(folder->Path(), o);
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    static vdxtest::TempFolder* folder;
    static vdxdemo::DemoStats stats;
};
vdxtest::TempFolder* DemoData::folder = nullptr;
vdxdemo::DemoStats DemoData::stats;

TEST_F(DemoData, LoadsSeeRealLookingData)
{
    const std::string mainFile = vdxdemo::MainDbPath(folder->Path());
    const std::string logFile = vdxdemo::LogDbPath(folder->Path());
    const std::string mainBefore = vdxtest::ReadFileBytes(mainFile);
    const std::string logBefore = vdxtest::ReadFileBytes(logFile);
    ASSERT_FALSE(mainBefore.empty());
    // Rollback journal, not WAL: header bytes 18 and 19 are 1.
    EXPECT_EQ(mainBefore[18], 1);
    EXPECT_EQ(logBefore[19], 1);

    auto dup = MakeDupTable();
    auto ratio = MakeRatioTable();
    auto log = MakeLogTable();
    {
        sqlite3_connection main, logDb;
        for (auto [c, f] : {std::pair{&main, &mainFile}, std::pair{&logDb, &logFile}}) {
            c->open(f->c_str());
            c->execute("PRAGMA page_size=4096;");
            c->execute("PRAGMA temp_store=MEMORY;");
        }
        LoadDuplicates(main, *dup);
        LoadRatio(main, *ratio, true);
        LoadLog(logDb, *log, A("Все"));

        EXPECT_EQ(dup->GetRecordCount(), stats.dupVisible);
        EXPECT_LT(stats.dupVisible, stats.dupRows); // some video DVD files were left out
        EXPECT_EQ(ratio->GetRecordCount(), stats.ratioRows);
        EXPECT_EQ(log->GetRecordCount(), stats.logRows);
        LoadRatio(main, *ratio, false);
        EXPECT_EQ(ratio->GetRecordCount(), stats.ratioWithTraffic);
        EXPECT_LT(stats.ratioWithTraffic, stats.ratioRows);
        LoadRatio(main, *ratio, true);
    }
    // Reading changed no byte of either file.
    EXPECT_EQ(vdxtest::ReadFileBytes(mainFile), mainBefore);
    EXPECT_EQ(vdxtest::ReadFileBytes(logFile), logBefore);

    const TRecordField& nameMax = FieldByName(*dup, "name_max");
    bool cyrillicPath = false;
    for (int i = 0; i < dup->GetRecordCount(); ++i) {
        const std::string n(dup->GetString(dup->RecordAt(i), nameMax));
        EXPECT_FALSE(LooksLikeVideoDvd(n)) << n;
        for (unsigned char ch : dup->GetString(dup->RecordAt(i), FieldByName(*dup, "path_1")))
            cyrillicPath |= ch >= 0xC0;
    }
    EXPECT_TRUE(cyrillicPath);

    const TRecordField& ip = FieldByName(*ratio, "userip");
    const TRecordField& up = FieldByName(*ratio, "upload");
    const TRecordField& nick = FieldByName(*ratio, "nick");
    std::set<std::string> hubs;
    int ipv6Long = 0, huge = 0, zero = 0, nullNick = 0;
    for (int i = 0; i < ratio->GetRecordCount(); ++i) {
        const TRecord* r = ratio->RecordAt(i);
        const std::string a(ratio->GetString(r, ip));
        ipv6Long += a.find(':') != std::string::npos && a.size() > 16;
        huge += ratio->GetFloat(r, up) > 9007199254740992.0;
        zero += ratio->GetFloat(r, up) == 0.0;
        nullNick += ratio->IsNull(r, nick);
        hubs.insert(std::string(ratio->GetString(r, FieldByName(*ratio, "hub"))));
    }
    EXPECT_GT(ipv6Long, 0);
    EXPECT_GT(huge, 0);
    EXPECT_GT(zero, 0);
    EXPECT_GT(nullNick, 0);
    EXPECT_GE(hubs.size(), 4u);
}

TEST_F(DemoData, SameSeedSameFiles)
{
    vdxtest::TempFolder again, other;
    vdxdemo::DemoOptions o;
    o.rows = 4000;
    o.seed = 7;
    vdxdemo::GenerateDemo(again.Path(), o);
    o.seed = 8;
    vdxdemo::GenerateDemo(other.Path(), o);
    for (auto path : {&vdxdemo::MainDbPath, &vdxdemo::LogDbPath}) {
        const std::string a = vdxtest::ReadFileBytes(path(folder->Path()));
        EXPECT_EQ(vdxtest::ReadFileBytes(path(again.Path())), a);
        EXPECT_NE(vdxtest::ReadFileBytes(path(other.Path())), a);
    }
    // Generating again over existing files replaces them.
    vdxdemo::GenerateDemo(again.Path(), o);
    EXPECT_EQ(vdxtest::ReadFileBytes(vdxdemo::LogDbPath(again.Path())),
              vdxtest::ReadFileBytes(vdxdemo::LogDbPath(other.Path())));
}

TEST(DemoGen, CommandLine)
{
    vdxtest::TempFolder temp;
    const std::string gen = VDX_DEMO_GEN;
    EXPECT_EQ(std::system((gen + " '" + temp.Path() + "' --rows 500 --seed 3 >/dev/null").c_str()), 0);
    sqlite3_connection db;
    db.open(vdxdemo::LogDbPath(temp.Path()).c_str());
    sqlite3_command c(db, "select count(*) from vdx_log");
    sqlite3_reader r = c.open_reader();
    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_int(0), 500);
    EXPECT_NE(std::system((gen + " --rows x 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((gen + " 2>/dev/null").c_str()), 0);
}

} // namespace
