// The grid engine against the SQL engine answering the same question itself, in one run:
// the statistics grid's rebuild (grouped by hub, sorted by nick, group and footer sums),
// a value filter set and cleared, a sort click on the log, and the row tree's bytes.
#include "Bench.h"
#include "BenchData.h"
#include "DemoData.h"

#include "app/GridLayouts.h"
#include "db/sqlite3x.h"
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace sqlite3x;

namespace {

constexpr long long kSizes[] = {100000, 1000000};
constexpr int kRuns = 3;
void Open(sqlite3_connection& c, const std::string& file)
{
    c.open(file.c_str());
    c.execute("PRAGMA page_size=4096;");
    c.execute("PRAGMA temp_store=MEMORY;");
}

// Reads a statement to the end, every column with the getter its kind needs.
long long ReadAll(sqlite3_connection& c, const std::string& sql, const std::vector<char>& kinds)
{
    sqlite3_command command(c, sql);
    sqlite3_reader r = command.open_reader();
    long long sink = 0;
    while (r.next_row()) {
        for (size_t i = 0; i < kinds.size(); ++i) {
            const int index = static_cast<int>(i);
            switch (kinds[i]) {
            case 'i': sink += r.column_int(index); break;
            case 'l': sink += r.column_int64(index); break;
            default: sink += static_cast<long long>(r.column_text(index).size()); break;
            }
        }
    }
    return sink;
}

double TimeMs(const std::function<void()>& fn) { return BenchMedianMs(kRuns, fn); }

struct Loaded {
    std::unique_ptr<TRecordTable> table;
    std::unique_ptr<TDataSource> source;
    std::unique_ptr<TGridEngine> grid;
    std::string file;
};

Loaded LoadRatioGrid(long long rows)
{
    Loaded l;
    l.file = vdxdemo::MainDbPath(DemoFolder(rows));
    sqlite3_connection c;
    Open(c, l.file);
    l.table = MakeRatioTable();
    LoadRatio(c, *l.table, true);
    l.source = std::make_unique<TDataSource>(l.table.get());
    l.grid = std::make_unique<TGridEngine>();
    ConfigureRatioGrid(*l.grid);
    l.grid->SetDataSource(l.source.get());
    return l;
}

Loaded LoadLogGrid(long long rows)
{
    Loaded l;
    l.file = vdxdemo::LogDbPath(DemoFolder(rows));
    sqlite3_connection c;
    Open(c, l.file);
    l.table = MakeLogTable();
    LoadLog(c, *l.table, A("Все"));
    l.source = std::make_unique<TDataSource>(l.table.get());
    l.grid = std::make_unique<TGridEngine>();
    ConfigureLogGrid(*l.grid);
    l.grid->SetDataSource(l.source.get());
    return l;
}

double RatioQueryMs(const std::string& file)
{
    sqlite3_connection c;
    Open(c, file);
    return TimeMs([&] {
        volatile long long sink =
            ReadAll(c, "select id,upload,download,userip,nick,hub from v_vdx_ratio order by hub, nick",
                    {'i', 'l', 'l', 't', 't', 't'}) +
            // total(): the sums as floats, as the grid adds them (sum() overflows on the largest totals)
            ReadAll(c, "select hub, total(upload), total(download) from v_vdx_ratio group by hub", {'t', 'l', 'l'});
        (void)sink;
    });
}

int ColumnOfField(const TGridEngine& g, const char* field)
{
    for (int c = 0; c < g.ColumnCount(); ++c)
        if (g.Column(c).FieldName == field) return c;
    return -1;
}

VDX_BENCH("grid_rebuild")
{
    for (long long rows : kSizes) {
        Loaded l = LoadRatioGrid(rows);
        const double ref = RatioQueryMs(l.file);
        const double ours = TimeMs([&] { l.grid->Rebuild(); });
        std::printf("# grid_rebuild rows=%lld groups=%d data rows=%d\n", rows, l.grid->TopCount(),
                    l.grid->DataRowCount());
        Report("grid_rebuild", rows, "ms", ours, ref);
    }
}

VDX_BENCH("grid_filter")
{
    for (long long rows : kSizes) {
        Loaded l = LoadRatioGrid(rows);
        TGridEngine& g = *l.grid;
        const int nick = ColumnOfField(g, "nick");
        // A nick from the middle of the first hub.
        TGridNode* hub = g.Top(0);
        TColumnFilter f;
        TFilterCondition c;
        c.Op = TFilterOp::Equal;
        c.Value = g.Value(TGridEngine::Child(hub, TGridEngine::ChildCount(hub) / 2), nick);
        f.Conditions.push_back(c);
        const double rebuild = TimeMs([&] { g.Rebuild(); });
        int kept = 0;
        const double ours = TimeMs([&] {
            g.SetColumnFilter(nick, f);
            kept = g.DataRowCount();
            g.ClearFilter();
        });
        std::printf("# grid_filter rows=%lld kept=%d (set and clear, against the rebuild)\n", rows, kept);
        Report("grid_filter", rows, "ms", ours, rebuild);
    }
}

VDX_BENCH("grid_sort")
{
    const long long rows = 1000000;
    Loaded l = LoadLogGrid(rows);
    TGridEngine& g = *l.grid;
    const int nick = ColumnOfField(g, "nick");
    sqlite3_connection c;
    Open(c, l.file);
    const double ref = TimeMs([&] {
        volatile long long sink =
            ReadAll(c, "select id,file,sdate,body,nick from vdx_log order by nick", {'i', 't', 't', 't', 't'});
        (void)sink;
    });
    // Clicks alternate the direction; each one sorts the whole table.
    const double ours = TimeMs([&] { g.ClickColumn(nick, false); });
    Report("grid_sort", rows, "ms", ours, ref);
}

VDX_BENCH("grid_tree_mem")
{
    for (long long rows : kSizes) {
        {
            Loaded l = LoadRatioGrid(rows);
            const double perRow = static_cast<double>(l.grid->TreeBytes()) / std::max(1, l.grid->DataRowCount());
            Report("grid_tree_mem_ratio", rows, "bytes", perRow, 48);
        }
        {
            Loaded l = LoadLogGrid(rows);
            const double perRow = static_cast<double>(l.grid->TreeBytes()) / std::max(1, l.grid->DataRowCount());
            Report("grid_tree_mem_log", rows, "bytes", perRow, 48);
        }
    }
}

} // namespace
