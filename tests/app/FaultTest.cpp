// Hostile files and data of the kind users' machines hold: a clear message or a working
// window, never a crash, and the client's files untouched.
#include "DemoData.h"
#include "app/EntryPoint.h"
#include "app/VandrixDiscover.h"
#include "export/GridExport.h"
#include "platform/Exception.h"
#include "support_qt/AppFixture.h"
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace {

QByteArray Hash(const std::string& file)
{
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void Corrupt(const std::string& file, long offset, long length)
{
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    for (long i = 0; i < length; ++i)
        f.put(static_cast<char>((i * 37 + 11) & 0xFF));
}

// A main database whose duplicates data fills many pages, for damage in the middle.
void MakeBigDuplicates(ClientFolder& folder)
{
    folder.MakeClientDatabases();
    folder.ExecMain("with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000)"
                    " insert into share_file select i, 2, printf('C:/share/folder_%05d', i),"
                    " printf('D:/copy/folder_%05d', i), printf('file_%05d.avi', i), 'x.avi' from n;");
}

struct DamageCase {
    const char* name;
    std::function<void(ClientFolder&)> prepare;
    const char* message;   // the start-up box's text; empty: the window opens
};

class DamagedStart : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedStart, EndsWithTheEngineMessageAndChangesNoByte)
{
    ClientFolder folder;
    GetParam().prepare(folder);
    const std::string main = folder.Settings() + "/Vandrix.sqlite";
    const QByteArray before = Hash(main);
    int rc = -1;
    const BoxSeen box = WithModalBox([&] { rc = RunVandrixDiscover(); });
    EXPECT_EQ(rc, 0);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), GetParam().message);
    EXPECT_EQ(Hash(main), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedStart,
    ::testing::Values(
        DamageCase{"TruncatedInTheMiddle",
                   [](ClientFolder& f) {
                       MakeBigDuplicates(f);
                       const std::string main = f.Settings() + "/Vandrix.sqlite";
                       fs::resize_file(main, fs::file_size(main) / 2);
                   },
                   "database disk image is malformed."},
        DamageCase{"CorruptedPageInsideTheDuplicates",
                   [](ClientFolder& f) {
                       MakeBigDuplicates(f);
                       const std::string main = f.Settings() + "/Vandrix.sqlite";
                       Corrupt(main, (fs::file_size(main) / 4096 / 2) * 4096, 4096);
                   },
                   "database disk image is malformed."},
        DamageCase{"ViewOverAMissingTable",
                   [](ClientFolder& f) {
                       f.MakeClientDatabases();
                       f.ExecMain("drop view v_vdx_dup_file; create view v_vdx_dup_file as select * from gone;"
                                  "drop table if exists gone;");
                   },
                   "no such table: main.gone."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedStart, ViewOverAMissingColumn)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    folder.ExecMain("create table t2(b); drop view v_vdx_dup_file;"
                    "create view v_vdx_dup_file as select a as tth_id, b as cnt_dup, b as path_1,"
                    " b as path_2, b as name_max, b as name_min from t2;");
    const BoxSeen box = WithModalBox([&] { RunVandrixDiscover(); });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), "no such column: a.");
}

TEST(DamagedStart, LockedByAnotherProcess)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    // Another process holds an exclusive lock until told to go.
    QProcess holder;
    holder.start("sqlite3", {QString::fromStdString(folder.Settings() + "/Vandrix.sqlite")});
    ASSERT_TRUE(holder.waitForStarted());
    holder.write("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT 'held';\n");
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    const BoxSeen box = WithModalBox([&] { RunVandrixDiscover(); });
    holder.write("COMMIT;\n.quit\n");
    holder.closeWriteChannel();
    holder.waitForFinished(5000);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), "database is locked.");
}

// Values of every kind where the viewer expects another, and the extremes.
TEST(HostileData, EveryKindLoadsShowsAndExports)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    const std::string big(10 * 1024 * 1024, 'y');
    folder.ExecMain(
        "insert into share_file values('abc', x'0102', 12345, 'путь', 'name.avi', NULL);"
        "insert into share_file values(NULL, NULL, NULL, NULL, 'z.avi', NULL);"
        "insert into share_file values(2, 3, cast(x'fffe41c3' as text), cast(x'41004200' as text),"
        " 'ok.avi', '" + big + "');"
        "insert into ratio values(1, 9223372036854775807, -9223372036854775808, 17, 'n', 'h');"
        "insert into ratio values(2, 'lots', x'00ff', NULL, NULL, NULL);"
        "insert into ratio values(3, 2.75, 1e300, 'ip', 'n2', 'h');");
    folder.ExecLog("insert into vdx_log values(1, x'c0c1', cast(x'd0bfd180d0b8' as text), '" + big + "', NULL);"
                   "insert into vdx_log values(2, NULL, NULL, NULL, NULL);");
    TVandrixDiscover window;
    TRecordTable& dup = *window.m_DupMemoryData;
    ASSERT_EQ(dup.GetRecordCount(), 3);
    window.m_ShowAllIP->setChecked(true);
    window.m_ShowAllIPClick();
    TRecordTable& ratio = *window.m_RatioMemoryData;
    ASSERT_EQ(ratio.GetRecordCount(), 3);
    ratio.SetRecNo(1);
    EXPECT_DOUBLE_EQ(ratio.GetFloat(*ratio.LookupField("upload")), 9223372036854775807.0);
    EXPECT_DOUBLE_EQ(ratio.GetFloat(*ratio.LookupField("download")), -9223372036854775808.0);
    EXPECT_EQ(ratio.GetString(*ratio.LookupField("userip")), "17");
    ratio.SetRecNo(2);
    EXPECT_DOUBLE_EQ(ratio.GetFloat(*ratio.LookupField("upload")), 0);
    window.m_LimitBox->setCurrentIndex(3);
    window.m_SearchButtonClick();
    TRecordTable& log = *window.m_LogsData;
    ASSERT_EQ(log.GetRecordCount(), 2);
    log.SetRecNo(1);
    EXPECT_EQ(log.GetString(*log.LookupField("body")).size(), 1000u);
    EXPECT_EQ(log.GetString(*log.LookupField("sdate")), "\xef\xf0\xe8");   // converted like the other texts
    dup.SetRecNo(3);
    EXPECT_EQ(dup.GetString(*dup.LookupField("name_min")).size(), 256u);
    EXPECT_EQ(dup.GetString(*dup.LookupField("path_2")), "A");

    for (TDataGrid* grid : {window.m_DupDBGrid, window.m_vdx_ratio_DBGrid, window.m_LogsDBGrid}) {
        TGridEngine& engine = grid->Engine();
        engine.ExpandAll();
        for (int line = 0; line < engine.LineCount(); ++line)
            for (int column : engine.HeaderColumns())
                if (engine.Line(line).Footer < 0)
                    engine.DisplayText(engine.Line(line).Node, column);
        for (int column : engine.HeaderColumns())
            engine.SummaryFooterText(column);
        grid->grab();
        EXPECT_NO_THROW(SaveToXLS(engine, folder.Path() + "/hostile.xls", true));
    }
}

TEST(Reloads, LogTableDroppedOrLockedMeanwhileAndBackAgain)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    folder.ExecLog("insert into vdx_log values(1, 'f', 'd', 'b', 'n');");
    TVandrixDiscover window;
    window.m_SearchButtonClick();
    ASSERT_EQ(window.m_LogsData->GetRecordCount(), 1);

    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((folder.Settings() + "/Vandrix_log.sqlite").c_str(), &holder), SQLITE_OK);
    sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    BoxSeen box = WithModalBox([&] { window.m_SearchButton->click(); });
    EXPECT_EQ(box.text.toStdString(), "database is locked.");
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    folder.ExecLog("alter table vdx_log rename to vdx_log_old;");
    box = WithModalBox([&] { window.m_SearchButton->click(); });
    EXPECT_EQ(box.text.toStdString(), "no such table: vdx_log.");
    EXPECT_EQ(window.m_LogsData->GetRecordCount(), 0);
    folder.ExecLog("alter table vdx_log_old rename to vdx_log;");

    window.m_SearchButtonClick();
    EXPECT_EQ(window.m_LogsData->GetRecordCount(), 1);
}

TEST(Reloads, StatisticsLockedMeanwhileAndBackAgain)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    folder.ExecMain("insert into ratio values(1, 5, 5, 'ip', 'n', 'h');");
    TVandrixDiscover window;
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((folder.Settings() + "/Vandrix.sqlite").c_str(), &holder), SQLITE_OK);
    sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const BoxSeen box = WithModalBox([&] { window.m_ShowAllIP->click(); });
    EXPECT_EQ(box.text.toStdString(), "database is locked.");
    EXPECT_EQ(window.m_RatioMemoryData->GetRecordCount(), 0);
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    window.m_ShowAllIP->click();
    EXPECT_EQ(window.m_RatioMemoryData->GetRecordCount(), 1);
}

} // namespace
