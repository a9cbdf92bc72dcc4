// The spreadsheet writer over random grids: every file it writes is kept (one in
// VDX_FUZZ_KEEP inputs) for an independent reader to open afterwards.
#include "export/GridExport.h"
#include "grid/GridEngine.h"
#include "platform/Exception.h"
#include "table/RecordTable.h"
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
    AnsiString text(size_t max)
    {
        size_t len = byte() % (max + 1);
        AnsiString s;
        while (len-- && n)
            s.push_back(static_cast<char>(byte()));
        return s;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int count = 0;
    Input in{data, size};
    TRecordTable table;
    table.AddField("id", ftInteger);
    table.AddField("num", ftFloat);
    table.AddField("txt", ftString, 40);
    table.AddField("grp", ftString, 10);
    TDataSource source(&table);
    TGridEngine grid;
    grid.KeyField = "id";
    const char* fields[] = {"id", "num", "txt", "grp"};
    const uint8_t shape = in.byte();
    for (int i = 0; i < 4; ++i) {
        TDataGridColumn& c = grid.AddColumn();
        c.Name = std::string("col") + fields[i];
        c.FieldName = fields[i];
        c.Caption = in.text(8);
        c.Width = 20 + in.byte();
        c.Visible = (shape >> i) & 1 || i == 1;
        c.SummaryFooterType = static_cast<TSummaryType>(in.byte() % 6);
    }
    if (shape & 0x10)
        grid.Column(3).GroupIndex = 0;
    if (shape & 0x20)
        grid.Column(2).GroupIndex = grid.Column(3).GroupIndex + 1;
    TSummaryGroup& g = grid.AddSummaryGroup();
    g.Name = "g";
    g.DefaultGroup = true;
    g.SummaryItems.push_back({"colnum", "num", cstSum, "(SUM=0.00)"});
    grid.ShowGrid = shape & 0x40;
    grid.LayoutChanged();
    grid.SetDataSource(&source);
    grid.SetViewWidth(700);
    table.OpenTable();
    table.FreezeControls();
    const int rows = in.byte() % 40;
    for (int r = 0; r < rows && in.n; ++r) {
        table.BeginAppend();
        const uint8_t nulls = in.byte();
        if (!(nulls & 1))
            table.SetInteger(table.Field(0), static_cast<int32_t>(in.byte() * 7919 * (in.byte() - 128)));
        if (!(nulls & 2))
            table.SetFloat(table.Field(1), (in.byte() - 100) * 1.25);
        if (!(nulls & 4))
            table.SetString(table.Field(2), in.text(40));
        if (!(nulls & 8))
            table.SetString(table.Field(3), in.text(3));
        table.PostRecord();
    }
    table.ReleaseControls();
    if (shape & 0x80)
        grid.ExpandAll();

    const char* dir = std::getenv("VDX_FUZZ_OUT");
    const int keep = std::getenv("VDX_FUZZ_KEEP") ? std::atoi(std::getenv("VDX_FUZZ_KEEP")) : 0;
    const bool kept = dir && keep > 0 && count % keep == 0;
    const std::string file = kept ? std::string(dir) + "/out" + std::to_string(count) + ".xls"
                                  : "/tmp/vdx-fuzz-xls-" + std::to_string(getpid()) + ".xls";
    ++count;
    try {
        SaveToXLS(grid, file, true);
    } catch (const Exception&) {
        std::abort();   // nothing in a small grid may fail
    }
    if (!kept)
        unlink(file.c_str());
    return 0;
}
