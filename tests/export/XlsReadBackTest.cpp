// Exported files read back by python3-xlrd, an independent reader.
#include "support/DbFixture.h"
#include "ExportFixture.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

using namespace exporttest;

namespace {

void ExpectText(const TReadBack& book, int row, int col, const std::string& utf8, int xf)
{
    SCOPED_TRACE("cell " + std::to_string(row) + "," + std::to_string(col));
    const TReadCell* cell = book.At(row, col);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Kind, "text");
    EXPECT_EQ(cell->Text, utf8);
    EXPECT_EQ(cell->Xf, xf);
}

void ExpectNumber(const TReadBack& book, int row, int col, double value, int xf)
{
    SCOPED_TRACE("cell " + std::to_string(row) + "," + std::to_string(col));
    const TReadCell* cell = book.At(row, col);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Kind, "number");
    EXPECT_EQ(cell->Value, value);
    EXPECT_EQ(cell->Xf, xf);
}

void ExpectBlank(const TReadBack& book, int row, int col, int xf)
{
    SCOPED_TRACE("cell " + std::to_string(row) + "," + std::to_string(col));
    const TReadCell* cell = book.At(row, col);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Kind, "blank");
    EXPECT_EQ(cell->Xf, xf);
}

} // namespace

TEST(XlsReadBack, StatisticsGridAsAReaderSeesIt)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Борис"), std::string("Хаб-Ёлка")},
               {2, 200.0, 0.5, "10.0.0.2", std::string("Анна"), std::string("Хаб-Ёлка")},
               {3, 1536.0, 2.25, "192.168.100.200", std::string("zed"), std::string("Hub 2")},
               {4, {}, 3.0, "::1", std::string("ящик"), std::string("Hub 2")}});
    vdxtest::TempFolder folder;
    const std::string file = folder.File("stats.xls");
    SaveToXLS(f.Grid, file, true);
    const TReadBack book = ReadWithXlrd(file);
    ASSERT_TRUE(book.Ok) << book.Error;

    // heading
    ExpectBlank(book, 0, 0, 23);
    ExpectText(book, 0, 1, "Ник", 22);
    ExpectText(book, 0, 2, "IP адрес", 22);
    ExpectText(book, 0, 3, "Отдано", 22);
    ExpectText(book, 0, 4, "Принято", 22);
    // first hub: its group row, its rows sorted by nick, its footer
    ExpectText(book, 1, 0, "Хаб : Hub 2 ", 23);
    for (int col = 1; col <= 4; ++col)
        ExpectBlank(book, 1, col, 23);
    ExpectBlank(book, 2, 0, 23);
    ExpectText(book, 2, 1, "zed", 29);
    ExpectText(book, 2, 2, "192.168.100.200", 30);
    ExpectNumber(book, 2, 3, 1536, 31);
    ExpectNumber(book, 2, 4, 2.25, 32);
    ExpectText(book, 3, 1, "ящик", 29);
    ExpectText(book, 3, 2, "::1", 30);
    ExpectNumber(book, 3, 3, 0, 31);   // null upload
    ExpectNumber(book, 3, 4, 3, 32);
    ExpectBlank(book, 4, 0, 23);
    ExpectBlank(book, 4, 1, 28);
    ExpectBlank(book, 4, 2, 28);
    ExpectText(book, 4, 3, "(SUM=1536.00)", 27);
    ExpectText(book, 4, 4, "(SUM=5.25)", 27);
    // second hub
    ExpectText(book, 5, 0, "Хаб : Хаб-Ёлка ", 23);
    ExpectText(book, 6, 1, "Анна", 29);
    ExpectNumber(book, 6, 3, 200, 31);
    ExpectText(book, 7, 1, "Борис", 29);
    ExpectNumber(book, 7, 4, 7, 32);
    ExpectText(book, 8, 3, "(SUM=300.00)", 27);
    ExpectText(book, 8, 4, "(SUM=7.50)", 27);
    // summary footer: formula cells under upload and download (xlrd gives their cached 0)
    ExpectBlank(book, 9, 0, 25);
    ExpectBlank(book, 9, 1, 25);
    ExpectBlank(book, 9, 2, 25);
    ExpectNumber(book, 9, 3, 0, 24);
    ExpectNumber(book, 9, 4, 0, 24);
    EXPECT_EQ(book.Rows, 10);
    EXPECT_EQ(book.Cols, 5);
    EXPECT_EQ(book.Cells.size(), 50u);

    // formats: left for texts, right for numbers, thin borders in colour 20
    ASSERT_EQ(book.Xfs.size(), 33u);
    for (int xf = 29; xf <= 32; ++xf) {
        SCOPED_TRACE(xf);
        const auto& x = book.Xfs[xf];
        EXPECT_EQ(x[1], std::to_string(10 + xf - 29));   // font
        EXPECT_EQ(x[2], xf <= 30 ? "1" : "3");            // left / right
        EXPECT_EQ(std::vector<std::string>(x.begin() + 3, x.end()),
                  (std::vector<std::string>{"1", "1", "1", "1", "20"}));
    }
    // fonts: 0 to 3 Arial, 4 skipped, 5 to 9 from the grid, one per exported column
    ASSERT_EQ(book.Fonts.size(), 14u);   // xlrd lists a dummy font 4
    EXPECT_EQ(book.Fonts[0][1], "Arial");
    EXPECT_EQ(book.Fonts[5][1], "MS Sans Serif");
    EXPECT_EQ(book.Fonts[5][2], "160");
    EXPECT_EQ(book.Fonts[13][7], "12");
    // column widths: the group column, then the displayed widths
    EXPECT_EQ(book.ColWidths.at(0), 400);
    EXPECT_EQ(book.ColWidths.at(1), f.Grid.DisplayWidth(f.Grid.ColumnByName("col_nick")->Index()) * 36);
    EXPECT_EQ(book.Colours.size(), 13u);
}

TEST(XlsReadBack, ValuesOfEveryKindAndGridLinesOff)
{
    TGridFixture f;
    f.Table.AddField("n", ftInteger);
    f.Table.AddField("x", ftFloat);
    f.Table.AddField("s", ftString, 50);
    f.Grid.KeyField = "n";
    f.AddColumn("n", "Целое", 50).Sorted = csUp;
    f.AddColumn("x", "Дробное", 50);
    f.AddColumn("s", "Текст", 50);
    f.Grid.ShowGrid = false;
    f.Grid.GridLineColor = 0x00336699;
    f.Attach(150);
    f.AddRows({{-536870913, -0.125, std::string("«кавычки» и \t табуляция")},
               {7, 1e300, std::string("")},
               {536870911, {}, {}}});
    vdxtest::TempFolder folder;
    const std::string file = folder.File("kinds.xls");
    SaveToXLS(f.Grid, file, true);
    const TReadBack book = ReadWithXlrd(file);
    ASSERT_TRUE(book.Ok) << book.Error;
    ExpectNumber(book, 1, 0, -536870913, 29);
    ExpectNumber(book, 1, 1, -0.125, 30);
    ExpectText(book, 1, 2, "«кавычки» и \t табуляция", 31);
    ExpectNumber(book, 2, 0, 7, 29);
    ExpectNumber(book, 2, 1, 1e300, 30);
    ExpectText(book, 2, 2, "", 31);
    ExpectNumber(book, 3, 0, 536870911, 29);
    ExpectNumber(book, 3, 1, 0, 30);
    ExpectText(book, 3, 2, "", 31);
    for (int xf : {21, 29, 30, 31}) {
        SCOPED_TRACE(xf);
        EXPECT_EQ(std::vector<std::string>(book.Xfs[xf].begin() + 3, book.Xfs[xf].begin() + 7),
                  (std::vector<std::string>{"0", "0", "0", "0"}));
    }
    // the grid line colour is still palette entry 20
    EXPECT_EQ(book.Colours.back(), (std::vector<std::string>{"20", "153", "102", "51"}));
}

// A C1 control character from the database survives conversion as byte 0x98, which code
// page 1251 leaves unassigned: the file must still open, with "?" in its place.
TEST(XlsReadBack, UnassignedCodePageByteStillOpens)
{
    TGridFixture f;
    f.Table.AddField("s", ftString, 20);
    f.AddColumn("s", "Текст", 100);
    f.Attach(100);
    f.AddRow({std::string("a\xc2\x98" "б")});
    vdxtest::TempFolder folder;
    const std::string file = folder.File("c1.xls");
    SaveToXLS(f.Grid, file, true);
    const TReadBack book = ReadWithXlrd(file);
    ASSERT_TRUE(book.Ok) << book.Error;
    const TReadCell* cell = book.At(1, 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Text, "a?б");
}
