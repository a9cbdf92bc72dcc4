// The .xlsx writer: the same cells as the BIFF4 file, read back by python3-openpyxl, the
// choice of writer by the file name, and the same safety as the BIFF4 writer.
#include "support/DbFixture.h"
#include "ExportFixture.h"
#include "export/GridExportXlsx.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace exporttest;

namespace {

void AddHubs(TGridFixture& f)
{
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Борис"), std::string("Хаб-Ёлка")},
               {2, 200.0, 0.5, "10.0.0.2", std::string("Анна"), std::string("Хаб-Ёлка")},
               {3, 1536.0, 2.25, "192.168.100.200", std::string("zed"), std::string("Hub 2")},
               {4, {}, 3.0, "::1", std::string("ящик «в кавычках»"), std::string("Hub 2")}});
}

// Both files of one grid; the compare script's verdict.
void ExpectSameCells(const TGridEngine& grid, const std::string& name)
{
    vdxtest::TempFolder folder;
    const std::string xls = folder.File(name + ".xls"), xlsx = folder.File(name + ".xlsx");
    SaveToXLS(grid, xls, true);
    SaveToXLSX(grid, xlsx, true);
    const TScriptResult compared = RunSheetScript("compare '" + xls + "' '" + xlsx + "'");
    EXPECT_EQ(compared.Status, 0) << compared.Output;
}

} // namespace

TEST(Xlsx, StatisticsGridHoldsTheCellsOfTheBiff4File)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    ExpectSameCells(f.Grid, "grouped");
}

TEST(Xlsx, FilteredAndTwoLevelGroupsHoldTheSameCells)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    TGridEngine& g = f.Grid;
    g.GroupByColumn(g.ColumnByName("col_nick")->Index(), 1);
    g.MoveColumn(g.ColumnByName("m_vdx_ratio_DBGridupload")->Index(), 0);
    ExpectSameCells(g, "two-levels");
    TColumnFilter filter;
    TFilterCondition above;
    above.Op = TFilterOp::Greater;
    above.Value.kind = TGridValue::Float;
    above.Value.f = 150;
    filter.Conditions.push_back(above);
    g.SetColumnFilter(g.ColumnByName("m_vdx_ratio_DBGridupload")->Index(), filter);
    ExpectSameCells(g, "filtered");
}

// Values of every kind, a C1 control character, grid lines off, bold and italic fonts.
TEST(Xlsx, ValuesOfEveryKindAndFonts)
{
    TGridFixture f;
    f.Table.AddField("n", ftInteger);
    f.Table.AddField("x", ftFloat);
    f.Table.AddField("s", ftString, 50);
    f.Grid.KeyField = "n";
    f.AddColumn("n", "Целое", 50).Sorted = csUp;
    f.AddColumn("x", "Дробное", 50).SummaryFooterType = cstMax;
    TDataGridColumn& s = f.AddColumn("s", "Текст", 50);
    s.SummaryFooterType = cstCount;
    TGridFont bold;
    bold.Name = "Arial";
    bold.Size = 11;
    bold.Bold = bold.Italic = bold.Underline = bold.StrikeOut = true;
    bold.Color = 0x000000FF;
    s.Font = bold;
    f.Grid.ShowGrid = false;
    f.Grid.HeaderFont.Bold = true;
    f.Attach(150);
    f.AddRows({{-536870913, -0.125, std::string("«кавычки» и \t табуляция")},
               {7, 1e300, std::string("")},
               {INT32_MAX, {}, {}},
               {8, 2.5, std::string("a\xc2\x98" "б & <тег>")}});
    ExpectSameCells(f.Grid, "kinds");
}

TEST(Xlsx, FooterFormulasCarryTheirResults)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    vdxtest::TempFolder folder;
    SaveToXLSX(f.Grid, folder.File("sums.xlsx"), true);
    // Group rows are blank and group footers texts: the sums take only the data rows.
    const TScriptResult values = RunSheetScript("values '" + folder.File("sums.xlsx") + "'");
    EXPECT_EQ(values.Output, "formula\t9\t3\t1836\nformula\t9\t4\t12.75\n");
}

TEST(Xlsx, EmptyGridHasAFooterOfZerosNotAFormulaOverItself)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    vdxtest::TempFolder folder;
    SaveToXLSX(f.Grid, folder.File("empty.xlsx"), true);
    const TScriptResult dump = RunSheetScript("dump '" + folder.File("empty.xlsx") + "'");
    EXPECT_NE(dump.Output.find("cell\t1\t3\tnumber\t0.0\t"), std::string::npos) << dump.Output;
    EXPECT_NE(dump.Output.find("cell\t1\t4\tnumber\t0.0\t"), std::string::npos) << dump.Output;
    EXPECT_EQ(dump.Output.find("formula"), std::string::npos) << dump.Output;
    ExpectSameCells(f.Grid, "empty");
}

TEST(Xlsx, TheNameChoosesTheWriter)
{
    const std::vector<std::pair<std::string, TExportFormat>> cases = {
        {"a.xlsx", TExportFormat::Xlsx}, {"/d/b.XLSX", TExportFormat::Xlsx}, {"c.XlSx", TExportFormat::Xlsx},
        {"a.xls", TExportFormat::Xls},   {"report", TExportFormat::Xls},     {"a.csv", TExportFormat::Xls},
        {"d.xlsx/report", TExportFormat::Xls}, {".xlsx.bak", TExportFormat::Xls}, {"", TExportFormat::Xls}};
    for (const auto& [name, format] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ExportFormatOf(name), format);
    }
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    vdxtest::TempFolder folder;
    SaveGridAs(f.Grid, folder.File("x.XLSX"), true);
    SaveGridAs(f.Grid, folder.File("y.csv"), true);
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("x.XLSX")).substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("y.csv")).substr(0, 2), "\x09\x04");
}

TEST(Xlsx, ReplacesOnlyWithACompleteFileAndKeepsThePermissionBits)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    vdxtest::TempFolder folder;
    const std::string target = folder.File("out.xlsx");
    WriteFile(target, "old content");
    ::chmod(target.c_str(), 0640);
    SaveToXLSX(f.Grid, target, true);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(vdxtest::ReadFileBytes(target).substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.xlsx"});

    // Failures leave the folder as it was.
    const std::vector<std::string> before = FolderEntries(folder.Path());
    for (const std::string& bad : {folder.File("missing/out.xlsx"), folder.File("out.xlsx/inner.xlsx"),
                                   folder.Path() + "/"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ErrorOf([&] { SaveToXLSX(f.Grid, bad, true); }), "Cannot create file " + Utf8ToCp1251(bad));
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
}

TEST(Xlsx, SheetRowLimitIsCheckedBeforeAnyFileIsMade)
{
    // 349,525 hubs of one row each: a group row, the row and a footer row apiece, with
    // heading and footer 1,048,577 sheet rows, one more than a sheet holds.
    TGridFixture f;
    ConfigureRatioLike(f);
    std::vector<std::vector<TGridFixture::TValue>> rows;
    rows.reserve(349525);
    for (int i = 0; i < 349525; ++i)
        rows.push_back({i, 1.0, 2.0, "ip", "nick", "hub" + std::to_string(i)});
    f.AddRows(rows);
    vdxtest::TempFolder folder;
    const std::string target = folder.File("out.xlsx");
    WriteFile(target, "old content");
    EXPECT_EQ(ErrorOf([&] { SaveToXLSX(f.Grid, target, true); }),
              A("Строк данных: 349525, а в файл .xlsx помещается не больше 349524."));
    EXPECT_EQ(vdxtest::ReadFileBytes(target), "old content");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.xlsx"});
}

TEST(Xlsx, AStreamCannotTakeAWorkbook)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    TGridExportXlsx writer(f.Grid, "", true);
    TMemoryStream stream;
    EXPECT_EQ(ErrorOf([&] { writer.SaveToStream(stream); }), "Stream write error");
    EXPECT_EQ(stream.Bytes, "");
}
