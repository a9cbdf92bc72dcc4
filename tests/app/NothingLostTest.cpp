// A session that runs every command leaves the client's files byte for byte as they were,
// in rollback-journal and in WAL mode.
#include "DemoData.h"
#include "app/VandrixDiscover.h"
#include "export/GridExport.h"
#include "support_qt/AppFixture.h"
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QTabWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace {

std::map<std::string, QByteArray> Snapshot(const std::string& folder)
{
    std::map<std::string, QByteArray> files;
    for (const auto& e : fs::directory_iterator(folder)) {
        QFile f(QString::fromStdString(e.path().string()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        files[e.path().filename().string()] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    return files;
}

void ExerciseGrid(TGridEngine& grid, const std::string& exportFile)
{
    for (int column : grid.HeaderColumns()) {
        grid.ClickColumn(column, false);
        grid.ClickColumn(column, false);
        grid.ClickColumn(column, true);
    }
    const std::vector<int> header = grid.HeaderColumns();
    if (!header.empty()) {
        grid.GroupByColumn(header.front(), 0);
        grid.ExpandAll();
        const std::vector<TDropDownEntry> entries = grid.DropDownEntries(header.back());
        if (entries.size() > 2)
            grid.ChooseDropDownEntry(header.back(), entries.back());
        SaveToXLS(grid, exportFile, true);
        grid.ClearFilter();
        grid.UngroupColumn(header.front());
    }
    if (grid.LineCount() > 0) {
        grid.ExpandAll();
        for (int i = 0; i < grid.LineCount(); ++i)
            if (!TGridEngine::IsGroup(grid.Line(i).Node) && grid.Line(i).Footer < 0) {
                grid.SetFocusedNode(grid.Line(i).Node);
                break;
            }
        if (grid.CanDeleteFocused())
            grid.DeleteFocused();
        grid.BeginInsertBeforeFocused();
        grid.SetNewRowText(grid.HeaderColumns().back(), "7");
        grid.LeaveNewRow();
    }
    SaveToXLS(grid, exportFile, true);
}

class NothingLost : public ::testing::TestWithParam<const char*> {};

TEST_P(NothingLost, EveryCommandLeavesTheClientFilesAsTheyWere)
{
    ClientFolder folder;
    vdxdemo::DemoOptions options;
    options.rows = 3000;
    options.seed = 5;
    vdxdemo::GenerateDemo(folder.Path(), options);
    if (std::string(GetParam()) == "wal") {
        // A client that is running keeps its WAL open: hold one connection with a
        // committed, not yet checkpointed change, as the client would.
        for (const char* file : {"/Vandrix.sqlite", "/Vandrix_log.sqlite"})
            ExecSql(folder.Settings() + file, "PRAGMA journal_mode=WAL;");
    }
    sqlite3* client = nullptr;
    if (std::string(GetParam()) == "wal") {
        ASSERT_EQ(sqlite3_open((folder.Settings() + "/Vandrix.sqlite").c_str(), &client), SQLITE_OK);
        sqlite3_exec(client, "PRAGMA wal_autocheckpoint=0; UPDATE vdx_ratio SET upload = upload + 1 WHERE id < 10;",
                     nullptr, nullptr, nullptr);
    }
    const auto before = Snapshot(folder.Settings());
    const std::string exportFile = folder.Path() + "/out.xls";
    {
        auto window = std::make_unique<TVandrixDiscover>();
        window->show();
        for (int page : {1, 2, 0, 1}) {
            window->m_MainPageControl->setCurrentIndex(page);
        }
        window->m_ShowAllIP->click();
        window->m_ShowAllIP->click();
        for (int limit = 0; limit < 4; ++limit) {
            window->m_LimitBox->setCurrentIndex(limit);
            window->m_SearchButtonClick();
        }
        for (TDataGrid* grid : {window->m_DupDBGrid, window->m_vdx_ratio_DBGrid, window->m_LogsDBGrid})
            ExerciseGrid(grid->Engine(), exportFile);
    }
    const auto after = Snapshot(folder.Settings());
    if (client)
        sqlite3_close(client);
    for (const auto& [name, hash] : before) {
        ASSERT_TRUE(after.count(name)) << name << " vanished";
        if (name.size() > 4 && name.substr(name.size() - 4) == "-shm")
            continue;   // the WAL index is shared memory that every reader writes
        EXPECT_EQ(after.at(name), hash) << name << " changed";
    }
    for (const auto& [name, hash] : after)
        EXPECT_TRUE(before.count(name) || (name.size() > 4 && name.substr(name.size() - 4) == "-shm"))
            << name << " appeared";
}

INSTANTIATE_TEST_SUITE_P(Modes, NothingLost, ::testing::Values("delete", "wal"));

} // namespace
