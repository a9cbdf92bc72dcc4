// Years of logging: the log grid at one and at ten million rows, in one run. A sort click
// against the engine sorting the same rows itself; on the sorted log, a value filter set and
// cleared and a grouping by nick against the grid's own rebuild; and how each grows from the
// one size to the other, beside how a plain read of every record grows.
// Each size runs in a child process of its own, so that its peak memory is its own.
#include "Bench.h"
#include "BenchData.h"
#include "DemoData.h"

#include "app/GridLayouts.h"
#include "db/sqlite3x.h"
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace sqlite3x;

namespace {

constexpr int kRuns = 3;

void Open(sqlite3_connection& c, const std::string& file)
{
    c.open(file.c_str());
    c.execute("PRAGMA page_size=4096;");
    c.execute("PRAGMA temp_store=MEMORY;");
}

double TimeMs(const std::function<void()>& fn) { return BenchMedianMs(kRuns, fn); }

int ColumnOfField(const TGridEngine& g, const char* field)
{
    for (int c = 0; c < g.ColumnCount(); ++c)
        if (g.Column(c).FieldName == field) return c;
    return -1;
}

enum Figure { SortOurs, SortRef, FilterOurs, Rebuild, GroupOurs, Scan, TreePerRow, PeakRss, Rows, kFigures };

std::vector<double> Measure(const std::string& file)
{
    std::vector<double> v(kFigures);
    sqlite3_connection c;
    Open(c, file);
    auto table = MakeLogTable();
    LoadLog(c, *table, A("Все"));
    TDataSource source(table.get());
    TGridEngine g;
    ConfigureLogGrid(g);
    g.SetDataSource(&source);
    v[Rows] = g.DataRowCount();
    const int nick = ColumnOfField(g, "nick");

    // Clicks alternate the direction; each one sorts the whole table.
    v[SortOurs] = TimeMs([&] { g.ClickColumn(nick, false); });
    // The log stays sorted by nick, as the user left it: the rebuild sorts it again.
    v[Rebuild] = TimeMs([&] { g.Rebuild(); });
    // A nick from the middle of the rows.
    TColumnFilter f;
    TFilterCondition cond;
    cond.Op = TFilterOp::Equal;
    cond.Value = g.Value(g.Top(g.TopCount() / 2), nick);
    f.Conditions.push_back(cond);
    v[FilterOurs] = TimeMs([&] {
        g.SetColumnFilter(nick, f);
        g.ClearFilter();
    });
    v[GroupOurs] = TimeMs([&] {
        g.GroupByColumn(nick, 0);
        g.UngroupColumn(nick);
    });
    // The floor of any work per row: reading the nick of every record once, in table order.
    const TRecordField* nickField = table->LookupField("nick");
    v[Scan] = TimeMs([&] {
        size_t sink = 0;
        for (int i = 0; i < table->GetRecordCount(); ++i) sink += table->GetString(table->RecordAt(i), *nickField).size();
        volatile size_t keep = sink;
        (void)keep;
    });
    // The engine's own sort last: at ten million rows it churns gigabytes of memory, which
    // slowed whatever was timed after it.
    v[SortRef] = TimeMs([&] {
        sqlite3_command command(c, "select id,file,sdate,body,nick from vdx_log order by nick");
        sqlite3_reader r = command.open_reader();
        long long sink = 0;
        while (r.next_row()) {
            sink += r.column_int(0);
            for (int i = 1; i < 5; ++i) sink += static_cast<long long>(r.column_text(i).size());
        }
        volatile long long keep = sink;
        (void)keep;
    });
    v[TreePerRow] = static_cast<double>(g.TreeBytes()) / std::max(1, g.DataRowCount());
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    v[PeakRss] = static_cast<double>(u.ru_maxrss) * 1024;
    return v;
}

VDX_BENCH("rows10m_grid")
{
    const std::string big = LogDemoFolderIfRoom(kTenMillion);
    if (big.empty()) return;
    const std::string small = LogDemoFolder(kOneMillion);
    std::vector<double> at[2];
    const long long sizes[2] = {kOneMillion, kTenMillion};
    at[0] = InChild([&] { return Measure(vdxdemo::LogDbPath(small)); });
    at[1] = InChild([&] { return Measure(vdxdemo::LogDbPath(big)); });
    for (int i = 0; i < 2; ++i) {
        const std::vector<double>& v = at[i];
        std::printf("# log grid rows=%.0f peak resident %.0f MB, row tree %.1f bytes a row\n", v[Rows],
                    v[PeakRss] / 1048576, v[TreePerRow]);
        Report("grid_sort", sizes[i], "ms", v[SortOurs], v[SortRef]);
        Report("grid_filter", sizes[i], "ms", v[FilterOurs], v[Rebuild]);
        Report("grid_group", sizes[i], "ms", v[GroupOurs], v[Rebuild]);
    }
    std::printf("# targets: grid_sort <= 0.5 of the engine's own sort, grid_filter <= 0.25 of the rebuild; "
                "growth from 1M to 10M <= 11\n");
    Report("grid_sort_growth", kTenMillion, "ms", at[1][SortOurs], at[0][SortOurs]);
    Report("grid_filter_growth", kTenMillion, "ms", at[1][FilterOurs], at[0][FilterOurs]);
    Report("grid_group_growth", kTenMillion, "ms", at[1][GroupOurs], at[0][GroupOurs]);
    Report("grid_rebuild_growth", kTenMillion, "ms", at[1][Rebuild], at[0][Rebuild]);
    Report("grid_scan_growth", kTenMillion, "ms", at[1][Scan], at[0][Scan]);
    std::printf("# grid_scan_growth: one read of every record's nick, the floor of the growths above\n");
}

} // namespace
