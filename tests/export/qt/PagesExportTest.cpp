// The three pages' grids as designed, grouped and filtered, exported in both formats: the
// BIFF4 file read by xlrd and the .xlsx read by openpyxl hold the same cells, and
// LibreOffice, made to recalculate, finds the footers' sums in the .xlsx formulas.
#include "../SheetScript.h"
#include "app/GridLayouts.h"
#include "export/GridExport.h"
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"
#include "platform/Exception.h"
#include "support/DbFixture.h"
#include "views/Tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

namespace {

using exporttest::RunSheetScript;

std::vector<std::string> Split(const std::string& line, char by = '\t')
{
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == by)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// A page's table and grid, filled.
struct TPage {
    std::unique_ptr<TRecordTable> Table;
    std::unique_ptr<TDataSource> Source;
    TGridEngine Grid;
    TPage(std::unique_ptr<TRecordTable> table, void (*configure)(TGridEngine&))
        : Table(std::move(table)), Source(std::make_unique<TDataSource>(Table.get()))
    {
        configure(Grid);
        Grid.SetViewWidth(752);
        Grid.SetDataSource(Source.get());
        Table->OpenTable();
    }
    ~TPage() { Grid.SetDataSource(nullptr); }
    void Fill(int rows, const std::function<void(TRecordTable&, int)>& row)
    {
        Table->FreezeControls();
        for (int i = 0; i < rows; ++i) {
            Table->BeginAppend();
            row(*Table, i);
            Table->PostRecord();
        }
        Table->ReleaseControls();
    }
    int Column(const char* name) const { return Grid.ColumnByName(name)->Index(); }
};

const char* const kNicks[] = {"Анна", "Борис", "zed", "Ёжик", "ящик"};

std::unique_ptr<TPage> DupPage()
{
    auto page = std::make_unique<TPage>(MakeDupTable(), ConfigureDupGrid);
    page->Fill(40, [](TRecordTable& t, int i) {
        t.SetInteger(FieldByName(t, "tth_id"), i + 1);
        t.SetInteger(FieldByName(t, "cnt_dup"), 2 + i % 3);
        t.SetString(FieldByName(t, "path_1"), A("Видео/Папка " + std::to_string(i % 4) + "/"));
        t.SetString(FieldByName(t, "path_2"), A("Музыка/Сборник/"));
        t.SetString(FieldByName(t, "name_max"), A("песня №" + std::to_string(i) + ".mp3"));
        t.SetString(FieldByName(t, "name_min"), A("копия " + std::to_string(i) + ".mp3"));
    });
    return page;
}

std::unique_ptr<TPage> RatioPage()
{
    auto page = std::make_unique<TPage>(MakeRatioTable(), ConfigureRatioGrid);
    page->Fill(30, [](TRecordTable& t, int i) {
        t.SetInteger(FieldByName(t, "ID"), i + 1);
        t.SetFloat(FieldByName(t, "upload"), 1000.25 * (i % 7) + i);
        if (i % 5)
            t.SetFloat(FieldByName(t, "download"), 0.5 * i);
        t.SetString(FieldByName(t, "userip"), "10.0.0." + std::to_string(i));
        t.SetString(FieldByName(t, "nick"), A(kNicks[i % 5]));
        t.SetString(FieldByName(t, "hub"), A(i % 3 ? "Хаб-Ёлка" : "dchub://hub.example.net:411"));
    });
    return page;
}

void FillLog(TPage& page, int rows)
{
    page.Fill(rows, [](TRecordTable& t, int i) {
        char date[32];
        std::snprintf(date, sizeof date, "2026-12-%02d %02d:%02d:%02d", 1 + i % 28, i % 24, i % 60, (i * 7) % 60);
        t.SetInteger(FieldByName(t, "ID"), i + 1);
        t.SetString(FieldByName(t, "file"), "file" + std::to_string(i));
        t.SetString(FieldByName(t, "sdate"), date);
        t.SetString(FieldByName(t, "body"), A("Запись №" + std::to_string(i) + ": «файл» передан"));
        t.SetString(FieldByName(t, "nick"), A(kNicks[i % 5]));
    });
}

std::unique_ptr<TPage> LogPage()
{
    auto page = std::make_unique<TPage>(MakeLogTable(), ConfigureLogGrid);
    FillLog(*page, 50);
    return page;
}

TColumnFilter Above(double value)
{
    TColumnFilter filter;
    TFilterCondition c;
    c.Op = TFilterOp::Greater;
    c.Value.kind = TGridValue::Float;
    c.Value.f = value;
    filter.Conditions.push_back(c);
    return filter;
}

TColumnFilter EqualText(const std::string& utf8)
{
    TColumnFilter filter;
    TFilterCondition c;
    c.Value.kind = TGridValue::String;
    c.Value.s = A(utf8);
    filter.Conditions.push_back(c);
    return filter;
}

// The number in a footer text such as "Сумма: 1234.50".
double FooterNumber(const AnsiString& text)
{
    const size_t colon = text.rfind(' ');
    return std::stod(text.substr(colon == std::string::npos ? 0 : colon + 1));
}

} // namespace

TEST(PagesExport, EveryPageGroupedAndFilteredHoldsTheSameCellsAndLibreOfficeFindsTheSums)
{
    vdxtest::TempFolder folder;
    struct TExported {
        std::string Name;
        std::vector<std::pair<int, double>> Sums;   // sheet column, the grid's footer value
        int FooterRow = 0;
    };
    std::vector<TExported> exported;
    std::vector<std::string> xlsxFiles;
    auto exportBoth = [&](TPage& page, const std::string& name) {
        SCOPED_TRACE(name);
        const std::string xls = folder.File(name + "_b.xls"), xlsx = folder.File(name + ".xlsx");
        SaveToXLS(page.Grid, xls, true);
        SaveToXLSX(page.Grid, xlsx, true);
        const exporttest::TScriptResult compared = RunSheetScript("compare '" + xls + "' '" + xlsx + "'");
        EXPECT_EQ(compared.Status, 0) << compared.Output;
        EXPECT_NE(compared.Output.find(" 0 differences"), std::string::npos) << compared.Output;
        TExported e{name + ".xlsx", {}, 0};
        const std::vector<int> columns = page.Grid.HeaderColumns();
        for (size_t i = 0; i < columns.size(); ++i)
            if (page.Grid.HasSummaryFooter(columns[i]))
                e.Sums.push_back({page.Grid.GroupColumnCount() + static_cast<int>(i),
                                  FooterNumber(page.Grid.SummaryFooterText(columns[i]))});
        exported.push_back(e);
        xlsxFiles.push_back(xlsx);
    };

    {
        auto dup = DupPage();
        exportBoth(*dup, "dup");
        dup->Grid.GroupByColumn(dup->Column("m_DupDBGridcnt_dup"), 0);
        exportBoth(*dup, "dup_grouped");
        dup->Grid.SetColumnFilter(dup->Column("m_DupDBGridpath_1"), EqualText("Видео/Папка 1/"));
        exportBoth(*dup, "dup_filtered");
    }
    {
        auto ratio = RatioPage();
        exportBoth(*ratio, "ratio");
        ratio->Grid.GroupByColumn(ratio->Column("m_vdx_ratio_DBGridnick"), 1);
        exportBoth(*ratio, "ratio_grouped");
        ratio->Grid.SetColumnFilter(ratio->Column("m_vdx_ratio_DBGridupload"), Above(2500));
        exportBoth(*ratio, "ratio_filtered");
        ratio->Grid.SetColumnFilter(ratio->Column("m_vdx_ratio_DBGridupload"), Above(1e12));
        exportBoth(*ratio, "ratio_empty");
    }
    {
        auto log = LogPage();
        exportBoth(*log, "log");
        log->Grid.GroupByColumn(log->Column("m_LogsDBGridnick"), 0);
        exportBoth(*log, "log_grouped");
        log->Grid.SetColumnFilter(log->Column("m_LogsDBGridnick"), EqualText("Ёжик"));
        exportBoth(*log, "log_filtered");
    }
    {
        // An empty statistics grid in both formats: the footer is 0, not a formula over
        // itself (which LibreOffice shows as Err:522).
        auto empty = std::make_unique<TPage>(MakeRatioTable(), ConfigureRatioGrid);
        SaveToXLS(empty->Grid, folder.File("empty_b.xls"), true);
        xlsxFiles.push_back(folder.File("empty_b.xls"));
        exported.push_back({"empty_b.xls", {{3, 0.0}, {4, 0.0}}, 0});
        exportBoth(*empty, "empty");
    }
    // A copy whose cached results are wrong shows that LibreOffice recalculates.
    ASSERT_EQ(RunSheetScript("spoil '" + folder.File("ratio.xlsx") + "' '" + folder.File("spoilt.xlsx") + "'").Status, 0);
    xlsxFiles.push_back(folder.File("spoilt.xlsx"));
    exported.push_back({"spoilt.xlsx", exported[3].Sums, 0});

    std::string files;
    for (const std::string& f : xlsxFiles)
        files += " '" + f + "'";
    const exporttest::TScriptResult recalculated = RunSheetScript("recalc '" + folder.File("lo") + "'" + files);
    ASSERT_EQ(recalculated.Status, 0) << recalculated.Output;
    // file -> (row, col) -> text; the footer is the last row of each file
    std::map<std::string, std::map<std::pair<int, int>, std::string>> sheets;
    std::istringstream lines(recalculated.Output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = Split(line);
        if (f.size() == 5 && f[0] == "csv")
            sheets[f[1]][{std::stoi(f[2]), std::stoi(f[3])}] = f[4];
    }
    int sums = 0;
    for (const TExported& e : exported) {
        SCOPED_TRACE(e.Name);
        const auto& cells = sheets[e.Name];
        ASSERT_FALSE(cells.empty()) << recalculated.Output;
        const int footer = cells.rbegin()->first.first;
        for (const auto& [col, value] : e.Sums) {
            SCOPED_TRACE(col);
            const auto it = cells.find({footer, col});
            ASSERT_NE(it, cells.end());
            EXPECT_EQ(it->second.find("Err"), std::string::npos);
            EXPECT_NEAR(std::stod(it->second), value, 0.005);
            ++sums;
        }
    }
    EXPECT_EQ(sums, 2 * 7);   // four statistics files, the spoilt copy, both empty files
}

TEST(PagesExport, TwentyThousandLogRowsGoToXlsxWholeAndBiff4RefusesThem)
{
    TPage log(MakeLogTable(), ConfigureLogGrid);
    FillLog(log, 20000);
    vdxtest::TempFolder folder;
    try {
        SaveToXLS(log.Grid, folder.File("log.xls"), true);
        ADD_FAILURE() << "BIFF4 took 20,000 rows";
    } catch (const Exception& e) {
        EXPECT_EQ(Cp1251ToUtf8(e.Message),
                  "Строк данных: 20000, а в файл .xls помещается не больше 16382. Сохраните в формате .xlsx.");
    }
    SaveToXLSX(log.Grid, folder.File("log.xlsx"), true);
    const exporttest::TScriptResult dump = RunSheetScript("dump '" + folder.File("log.xlsx") + "'");
    ASSERT_EQ(dump.Status, 0) << dump.Output.substr(0, 2000);
    std::map<std::pair<int, int>, std::string> texts;
    std::istringstream lines(dump.Output);
    std::string line;
    int cells = 0;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = Split(line);
        if (f[0] != "cell")
            continue;
        ++cells;
        if (f[3] == "text")
            texts[{std::stoi(f[1]), std::stoi(f[2])}] = f[4];
    }
    EXPECT_EQ(cells, 3 * 20002);   // heading, the rows, the footer
    const std::vector<int> columns = log.Grid.HeaderColumns();
    ASSERT_EQ(columns.size(), 3u);
    int mismatches = 0;
    for (int r = 0; r < 20000; ++r) {
        const TGridNode* node = log.Grid.Top(r);
        for (int c = 0; c < 3; ++c) {
            const auto it = texts.find({r + 1, c});
            if (it == texts.end() || it->second != Cp1251ToUtf8(log.Grid.DisplayText(node, columns[c])))
                ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}
