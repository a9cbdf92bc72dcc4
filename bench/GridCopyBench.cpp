// grid_copy_all: Ctrl+Shift+C's text for the log grid of 1,000,000 rows against writing the
// same bytes to memory, cell by cell, as the text is made of them.
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
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr long long kRows = 1000000;
constexpr int kRuns = 3;

// The text's cells and separators, each as one piece.
std::vector<std::string> Pieces(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t k = 0; k < text.size(); ++k)
        if (text[k] == '\t' || text[k] == '\n') {
            out.push_back(text.substr(start, k + 1 - start));
            start = k + 1;
        }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

} // namespace

VDX_BENCH("grid_copy_all")
{
    sqlite3x::sqlite3_connection c;
    c.open(vdxdemo::LogDbPath(DemoFolder(kRows)).c_str());
    std::unique_ptr<TRecordTable> table = MakeLogTable();
    LoadLog(c, *table, A("Все"));
    TDataSource source(table.get());
    TGridEngine grid;
    ConfigureLogGrid(grid);
    grid.SetDataSource(&source);

    const std::string text = grid.CopyAllText();
    const std::vector<std::string> pieces = Pieces(text);
    double ours = 1e300, ref = 1e300;
    size_t sink = 0;
    for (int run = 0; run < kRuns; ++run) {
        double start = BenchNowMs();
        sink += grid.CopyAllText().size();
        ours = std::min(ours, BenchNowMs() - start);
        start = BenchNowMs();
        {
            std::string plain;
            for (const std::string& p : pieces) plain.append(p);
            sink += plain.size();
        }
        ref = std::min(ref, BenchNowMs() - start);
    }
    std::printf("# grid_copy_all rows=%d bytes=%zu (the engine's text against appending its cells)\n",
                grid.DataRowCount(), text.size() + (sink == 0 ? 1 : 0));
    Report("grid_copy_all", grid.DataRowCount(), "ms", ours, ref);
    grid.SetDataSource(nullptr);
}
