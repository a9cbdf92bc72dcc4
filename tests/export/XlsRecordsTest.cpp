// The spreadsheet file record by record, against bytes written out by hand.
#include "ExportFixture.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

#include <climits>

using namespace exporttest;

namespace {

#define EXPECT_BYTES(actual, expected)                                                           \
    EXPECT_EQ(ToHex(actual), ToHex(expected)) << "actual records:\n" << Describe(actual)          \
                                              << "expected records:\n" << Describe(expected)

std::string Font(const std::string& hex, const std::string& name)
{
    return Record(0x0231, Hex(hex) + name);
}

std::string Xf(const std::string& hex)
{
    return Record(0x0443, Hex(hex));
}

std::string ColInfo(int col, int width)
{
    std::string d = Hex("00 00 00 00 00 00 0F 00 00 00 00 00");
    d[0] = d[2] = static_cast<char>(col);
    d[4] = static_cast<char>(width & 0xFF);
    d[5] = static_cast<char>(width >> 8);
    return Record(0x007D, d);
}

// Formats 0 to 20, which do not depend on the grid; XF 21 follows.
std::string FixedXfs()
{
    std::string out = Xf("00 00 F5 FF 20 00 00 CE 00 00 00 00");
    for (int i = 0; i < 2; ++i)
        out += Xf("01 00 F5 FF 20 F4 00 CE 00 00 00 00");
    for (int i = 0; i < 2; ++i)
        out += Xf("02 00 F5 FF 20 F4 00 CE 00 00 00 00");
    for (int i = 0; i < 10; ++i)
        out += Xf("00 00 F5 FF 20 F4 00 CE 00 00 00 00");
    out += Xf("00 00 01 00 20 00 00 CE 00 00 00 00");
    for (const char* format : {"21", "1F", "20", "1E", "0D"})
        out += Xf(std::string("01 ") + format + " F5 FF 20 F8 00 CE 00 00 00 00");
    return out;
}

std::string HeadingXfs()   // 22 to 28
{
    return Xf("06 00 01 00 22 78 41 02 71 71 71 71") + Xf("07 00 01 00 21 78 C1 02 00 00 00 00") +
           Xf("05 00 01 00 22 78 C1 02 B9 B9 B9 B9") + Xf("05 00 01 00 22 78 C1 02 B9 00 B9 00") +
           Xf("08 00 01 00 22 78 41 02 71 71 71 00") + Xf("09 00 01 00 21 78 C1 02 B9 B9 B9 B9") +
           Xf("09 00 01 00 21 78 C1 02 B9 00 B9 00");
}

const char* const kSum = "19 10 00 00";

// id (integer), name (text) and size (float, summed): the small ungrouped grid.
struct TSmallGrid {
    TGridFixture f;
    explicit TSmallGrid(bool withRows = true)
    {
        f.Table.AddField("id", ftInteger);
        f.Table.AddField("name", ftString, 40);
        f.Table.AddField("size", ftFloat);
        f.Grid.KeyField = "id";
        f.AddColumn("id", "Номер", 60).Sorted = csUp;
        f.AddColumn("name", "Имя", 120);
        f.AddColumn("size", "Размер", 80).SummaryFooterType = cstSum;
        f.Attach(260);
        if (withRows)
            f.AddRows({{1, std::string("Иванов"), 10.5}, {2, std::string("Petrov"), 1536.25}});
    }
    TGridEngine& Grid() { return f.Grid; }
    int Col(const char* field) { return f.Grid.ColumnByName(std::string("col_") + field)->Index(); }
};

} // namespace

TEST(XlsRecords, SmallUngroupedGridByteForByte)
{
    TSmallGrid s;
    TGridEngine& g = s.Grid();
    g.Font = {"Tahoma", 9, true, false, false, false, clBlack};
    g.HeaderFont = {"Verdana", 10, false, true, false, false, 0x000080};
    g.BandFont = {"Arial", 8, false, false, false, false, 0x00FF00};
    g.HeaderColor = 0x00112233;
    g.GroupNodeTextColor = clNone;
    g.GroupNodeColor = clBtnFace;
    g.Color = clWhite;
    g.BandColor = 0x00ABCDEF;
    g.RowFooterTextColor = 0x000001;
    g.RowFooterColor = 0x00020000;
    g.GridLineColor = 0x00404040;
    g.Column(s.Col("name")).Font = TGridFont{"Courier New", 12, false, false, true, true, clBlack};

    const std::string expected =
        Record(0x0409, Hex("00 00 10 00 00 00")) + Record(0x0042, Hex("E3 04")) + Record(0x0080, Hex("00 00 00 00 00 00 00 00")) +
        Record(0x0092, Hex("0D 00"
                           "80 00 00 00  33 22 11 00  00 00 00 00  D4 D0 C8 00  00 00 00 00  FF FF FF 00"
                           "00 00 00 00  FF FF FF 00  00 FF 00 00  EF CD AB 00  01 00 00 00  00 00 02 00"
                           "40 40 40 00")) +
        Font("C8 00 00 00 FF 7F 05", "Arial") + Font("C8 00 00 00 FF 7F 05", "Arial") +
        Font("C8 00 00 00 FF 7F 05", "Arial") + Font("C8 00 00 00 FF 7F 05", "Arial") +
        Font("B4 00 01 00 0C 00 06", "Tahoma") + Font("C8 00 02 00 08 00 07", "Verdana") +
        Font("B4 00 01 00 0A 00 06", "Tahoma") + Font("A0 00 00 00 10 00 05", "Arial") +
        Font("B4 00 01 00 12 00 06", "Tahoma") + Font("B4 00 01 00 0C 00 06", "Tahoma") +
        Font("F0 00 0C 00 0C 00 0B", "Courier New") + Font("B4 00 01 00 0C 00 06", "Tahoma") +
        FixedXfs() + Xf("05 00 01 00 21 78 41 03 A1 A1 A1 A1") + HeadingXfs() +
        Xf("0A 00 01 00 23 78 41 03 A1 A1 A1 A1") + Xf("0B 00 01 00 21 78 41 03 A1 A1 A1 A1") +
        Xf("0C 00 01 00 23 78 41 03 A1 A1 A1 A1") +
        ColInfo(0, g.DisplayWidth(s.Col("id")) * 36) + ColInfo(1, g.DisplayWidth(s.Col("name")) * 36) +
        ColInfo(2, g.DisplayWidth(s.Col("size")) * 36) +
        Record(0x0200, Hex("00 00 FF FF 00 00 FF 00 00 00")) +
        LabelU(0, 0, 22, "Номер") + LabelU(0, 1, 22, "Имя") + LabelU(0, 2, 22, "Размер") +
        Rk(1, 0, 29, 1) + LabelU(1, 1, 30, "Иванов") + Number(1, 2, 31, 10.5) +
        Rk(2, 0, 29, 2) + LabelU(2, 1, 30, "Petrov") + Number(2, 2, 31, 1536.25) +
        Blank(3, 0, 25) + Blank(3, 1, 25) + Formula(3, 2, 1, 2, 2, kSum) + Eof();
    EXPECT_BYTES(ExportBytes(g), expected);
    EXPECT_GT(g.DisplayWidth(s.Col("name")), 0);
}

TEST(XlsRecords, NullValuesPerKind)
{
    TSmallGrid s(false);
    s.f.AddRows({{}});
    EXPECT_BYTES(CellBytes(ExportBytes(s.Grid())),
                 LabelU(0, 0, 22, "Номер") + LabelU(0, 1, 22, "Имя") + LabelU(0, 2, 22, "Размер") +
                     Rk(1, 0, 29, 0) + Label(1, 1, 30, "") + Number(1, 2, 31, 0.0) +
                     Blank(2, 0, 25) + Blank(2, 1, 25) + Formula(2, 2, 1, 1, 2, kSum));
    // RK value 2 is the integer 0.
    EXPECT_NE(CellBytes(ExportBytes(s.Grid())).find(Hex("7E 02 0A 00 01 00 00 00 1D 00 02 00 00 00")),
              std::string::npos);
}

// A range over no rows would take in the footer cell itself (rows 1 to 0 from row 1): the
// sum of nothing is the number 0 instead.
TEST(XlsRecords, EmptyGridHasHeadingAndAFooterOfZeros)
{
    TSmallGrid s(false);
    EXPECT_BYTES(CellBytes(ExportBytes(s.Grid())),
                 LabelU(0, 0, 22, "Номер") + LabelU(0, 1, 22, "Имя") + LabelU(0, 2, 22, "Размер") +
                     Blank(1, 0, 25) + Blank(1, 1, 25) + Number(1, 2, 24, 0.0));
}

TEST(XlsRecords, IntegersOutsideTheRkRangeKeepTheirExactValue)
{
    const std::vector<std::pair<int32_t, bool>> cases = {
        {0, true},           {-1, true},          {536870911, true},   {-536870912, true},
        {536870912, false},  {-536870913, false}, {INT32_MAX, false},  {INT32_MIN, false}};
    TSmallGrid s(false);
    for (const auto& [value, rk] : cases)
        s.f.AddRows({{value}});
    const std::string cells = CellBytes(ExportBytes(s.Grid()));
    for (const auto& [value, rk] : cases) {
        SCOPED_TRACE(value);
        // The rows are sorted by id; find the value wherever it landed.
        bool found = false;
        for (int row = 1; row <= static_cast<int>(cases.size()) && !found; ++row)
            found = cells.find(rk ? Rk(row, 0, 29, value) : Number(row, 0, 29, static_cast<double>(value))) !=
                    std::string::npos;
        EXPECT_TRUE(found) << Describe(cells);
    }
}

TEST(XlsRecords, ShowGridGivesDataCellsBordersInTheGridLineColour)
{
    for (bool show : {true, false}) {
        SCOPED_TRACE(show);
        TSmallGrid s;
        s.Grid().ShowGrid = show;
        const std::string bytes = ExportBytes(s.Grid());
        const std::string b = show ? "A1 A1 A1 A1" : "00 00 00 00";
        const std::string xfs = Xf("05 00 01 00 21 78 41 03 " + b) + HeadingXfs() + Xf("0A 00 01 00 23 78 41 03 " + b) +
                                Xf("0B 00 01 00 21 78 41 03 " + b) + Xf("0C 00 01 00 23 78 41 03 " + b);
        EXPECT_NE(bytes.find(FixedXfs() + xfs), std::string::npos) << Describe(bytes);
    }
}

TEST(XlsRecords, AlignmentFollowsTheColumnOrItsField)
{
    struct Case {
        const char* name;
        std::optional<TAlignment> id, text, size;
        const char* idByte;
        const char* textByte;
        const char* sizeByte;
    };
    const std::vector<Case> cases = {
        {"field defaults", {}, {}, {}, "23", "21", "23"},
        {"column settings", taLeftJustify, taRightJustify, taCenter, "21", "23", "22"},
        {"centred text", {}, taCenter, taRightJustify, "23", "22", "23"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSmallGrid s;
        s.Grid().Column(s.Col("id")).Alignment = c.id;
        s.Grid().Column(s.Col("name")).Alignment = c.text;
        s.Grid().Column(s.Col("size")).Alignment = c.size;
        s.Grid().LayoutChanged();
        const std::string bytes = ExportBytes(s.Grid());
        const std::string xfs = Xf(std::string("0A 00 01 00 ") + c.idByte + " 78 41 03 A1 A1 A1 A1") +
                                Xf(std::string("0B 00 01 00 ") + c.textByte + " 78 41 03 A1 A1 A1 A1") +
                                Xf(std::string("0C 00 01 00 ") + c.sizeByte + " 78 41 03 A1 A1 A1 A1");
        EXPECT_NE(bytes.find(HeadingXfs() + xfs + Record(0x007D, "").substr(0, 2)), std::string::npos)
            << Describe(bytes);
    }
}

TEST(XlsRecords, HeadingFooterAndColumnVariants)
{
    struct Case {
        const char* name;
        std::function<void(TSmallGrid&)> setup;
        std::string cells;
    };
    const std::string rows = Rk(1, 0, 29, 1) + LabelU(1, 1, 30, "Иванов") + Number(1, 2, 31, 10.5) +
                             Rk(2, 0, 29, 2) + LabelU(2, 1, 30, "Petrov") + Number(2, 2, 31, 1536.25);
    const std::string heading = LabelU(0, 0, 22, "Номер") + LabelU(0, 1, 22, "Имя") + LabelU(0, 2, 22, "Размер");
    const std::vector<Case> cases = {
        {"no header row",
         [](TSmallGrid& s) { s.Grid().ShowHeader = false; },
         Rk(0, 0, 29, 1) + LabelU(0, 1, 30, "Иванов") + Number(0, 2, 31, 10.5) + Rk(1, 0, 29, 2) +
             LabelU(1, 1, 30, "Petrov") + Number(1, 2, 31, 1536.25) + Blank(2, 0, 25) + Blank(2, 1, 25) +
             Formula(2, 2, 0, 1, 2, kSum)},
        {"no summary footer", [](TSmallGrid& s) { s.Grid().ShowSummaryFooter = false; }, heading + rows},
        {"band row",
         [](TSmallGrid& s) { s.Grid().ShowBands = true; },
         Blank(0, 0, 23) + Blank(0, 1, 23) + Blank(0, 2, 23) + Label(0, 0, 26, "") +
             LabelU(1, 0, 22, "Номер") + LabelU(1, 1, 22, "Имя") + LabelU(1, 2, 22, "Размер") +
             Rk(2, 0, 29, 1) + LabelU(2, 1, 30, "Иванов") + Number(2, 2, 31, 10.5) + Rk(3, 0, 29, 2) +
             LabelU(3, 1, 30, "Petrov") + Number(3, 2, 31, 1536.25) + Blank(4, 0, 25) + Blank(4, 1, 25) +
             Formula(4, 2, 2, 3, 2, kSum)},
        {"disabled caption",
         [](TSmallGrid& s) { s.Grid().Column(s.Col("name")).DisableCaption = true; },
         LabelU(0, 0, 22, "Номер") + Label(0, 1, 22, "") + LabelU(0, 2, 22, "Размер") + rows +
             Blank(3, 0, 25) + Blank(3, 1, 25) + Formula(3, 2, 1, 2, 2, kSum)},
        {"summary kinds and fields",
         [](TSmallGrid& s) {
             TGridEngine& g = s.Grid();
             g.Column(s.Col("id")).SummaryFooterType = cstMax;
             g.Column(s.Col("id")).SummaryFooterField = "SIZE";   // another column, any case
             g.Column(s.Col("name")).SummaryFooterType = cstCount;
             g.Column(s.Col("size")).SummaryFooterType = cstAvg;
         },
         heading + rows + Formula(3, 0, 1, 2, 2, "42 01 07 00") + Formula(3, 1, 1, 2, 1, "42 01 A9 00") +
             Formula(3, 2, 1, 2, 2, "42 01 05 00")},
        {"minimum, and a summary field that is not exported",
         [](TSmallGrid& s) {
             TGridEngine& g = s.Grid();
             g.Column(s.Col("id")).SummaryFooterType = cstMin;
             g.Column(s.Col("size")).SummaryFooterType = cstSum;
             g.Column(s.Col("size")).SummaryFooterField = "nothing";
         },
         heading + rows + Formula(3, 0, 1, 2, 0, "42 01 06 00") + Blank(3, 1, 25) + Blank(3, 2, 25)},
        {"hidden column and a moved column",
         [](TSmallGrid& s) {
             s.Grid().Column(s.Col("id")).Visible = false;
             s.Grid().LayoutChanged();
             s.Grid().MoveColumn(s.Col("size"), 0);
         },
         LabelU(0, 0, 22, "Размер") + LabelU(0, 1, 22, "Имя") + Number(1, 0, 29, 10.5) +
             LabelU(1, 1, 30, "Иванов") + Number(2, 0, 29, 1536.25) + LabelU(2, 1, 30, "Petrov") +
             Formula(3, 0, 1, 2, 0, kSum) + Blank(3, 1, 25)},
        {"columns without a field",
         [](TSmallGrid& s) {
             s.Grid().Column(s.Col("name")).FieldName = "missing";
             s.Grid().Column(s.Col("name")).Caption = "X";
             TDataGridColumn& none = s.Grid().AddColumn();
             none.Caption = "Y";
             s.Grid().LayoutChanged();
         },
         LabelU(0, 0, 22, "Номер") + Label(0, 1, 22, "X") + LabelU(0, 2, 22, "Размер") + Label(0, 3, 22, "Y") +
             Rk(1, 0, 29, 1) + Label(1, 1, 30, "") + Number(1, 2, 31, 10.5) + Label(1, 3, 32, "") +
             Rk(2, 0, 29, 2) + Label(2, 1, 30, "") + Number(2, 2, 31, 1536.25) + Label(2, 3, 32, "") +
             Blank(3, 0, 25) + Blank(3, 1, 25) + Formula(3, 2, 1, 2, 2, kSum) + Blank(3, 3, 25)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSmallGrid s;
        c.setup(s);
        EXPECT_BYTES(CellBytes(ExportBytes(s.Grid())), c.cells);
    }
}

TEST(XlsRecords, ColumnWidthIsDisplayedPixelsTimes36CappedAt16Bits)
{
    for (int view : {260, 5200}) {
        SCOPED_TRACE(view);
        TSmallGrid s;
        s.Grid().SetViewWidth(view);
        std::string infos;
        for (int col = 0; col < 3; ++col) {
            const int pixels = s.Grid().DisplayWidth(col);
            infos += ColInfo(col, std::min(pixels * 36, 0xFFFF));
        }
        if (view == 5200) {
            EXPECT_GT(s.Grid().DisplayWidth(s.Col("name")) * 36, 0xFFFF);
        }
        const std::string bytes = ExportBytes(s.Grid());
        EXPECT_NE(bytes.find(infos + Record(0x0200, Hex("00 00 FF FF 00 00 FF 00 00 00"))), std::string::npos)
            << Describe(bytes);
    }
}

// ---------------------------------------------------------------------------------------
// The statistics grid grouped by hub

namespace {

const std::string kHeading = Blank(0, 0, 23) + LabelU(0, 1, 22, "Ник") + LabelU(0, 2, 22, "IP адрес") +
                             LabelU(0, 3, 22, "Отдано") + LabelU(0, 4, 22, "Принято");

std::string GroupRow(int row, const std::string& textUtf8)
{
    return LabelU(row, 0, 23, textUtf8) + Blank(row, 1, 23) + Blank(row, 2, 23) + Blank(row, 3, 23) +
           Blank(row, 4, 23);
}

std::string DataRow(int row, const std::string& nick, const std::string& ip, double up, double down)
{
    return Blank(row, 0, 23) + LabelU(row, 1, 29, nick) + LabelU(row, 2, 30, ip) + Number(row, 3, 31, up) +
           Number(row, 4, 32, down);
}

// The group footer: blank under nick and IP, the sums under upload and download.
std::string FooterRow(int row, const std::string& up, const std::string& down)
{
    return Blank(row, 0, 23) + Blank(row, 1, 28) + Blank(row, 2, 28) + Label(row, 3, 27, up) +
           Label(row, 4, 27, down);
}

std::string SummaryRow(int row)
{
    return Blank(row, 0, 25) + Blank(row, 1, 25) + Blank(row, 2, 25) + Formula(row, 3, 1, row - 1, 3, kSum) +
           Formula(row, 4, 1, row - 1, 4, kSum);
}

} // namespace

TEST(XlsRecords, StatisticsGroupedByHub)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Борис"), std::string("Хаб-1")},
               {2, 200.0, 0.5, "10.0.0.2", std::string("Анна"), std::string("Хаб-1")},
               {3, 1536.0, 2.25, "10.0.0.3", std::string("zed"), std::string("Hub 2")}});
    const std::string bytes = ExportBytes(f.Grid);

    // G = 1: a narrow group column, then nick, IP, upload, download; the hub is not exported.
    const std::string prelude = ColInfo(0, 400) + ColInfo(1, f.Grid.DisplayWidth(1) * 36);
    EXPECT_NE(bytes.find(prelude), std::string::npos) << Describe(bytes);
    size_t colInfos = 0;
    for (const TXlsRecord& r : SplitRecords(bytes))
        colInfos += r.Id == 0x007D;
    EXPECT_EQ(colInfos, 5u);

    EXPECT_BYTES(CellBytes(bytes),
                 kHeading + GroupRow(1, "Хаб : Hub 2 ") + DataRow(2, "zed", "10.0.0.3", 1536, 2.25) +
                     FooterRow(3, "(SUM=1536.00)", "(SUM=2.25)") + GroupRow(4, "Хаб : Хаб-1 ") +
                     DataRow(5, "Анна", "10.0.0.2", 200, 0.5) + DataRow(6, "Борис", "10.0.0.1", 100, 7) +
                     FooterRow(7, "(SUM=300.00)", "(SUM=7.50)") + SummaryRow(8));
}

TEST(XlsRecords, StatisticsFilteredKeepsOnlyShownRowsAndTheirSums)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Борис"), std::string("Хаб-1")},
               {2, 200.0, 0.5, "10.0.0.2", std::string("Анна"), std::string("Хаб-1")},
               {3, 1536.0, 2.25, "10.0.0.3", std::string("zed"), std::string("Hub 2")}});
    TColumnFilter filter;
    TFilterCondition below;
    below.Op = TFilterOp::Less;
    below.Value.kind = TGridValue::Float;
    below.Value.f = 150;
    filter.Conditions.push_back(below);
    f.Grid.SetColumnFilter(f.Grid.ColumnByName("m_vdx_ratio_DBGridupload")->Index(), filter);
    EXPECT_BYTES(CellBytes(ExportBytes(f.Grid)),
                 kHeading + GroupRow(1, "Хаб : Хаб-1 ") + DataRow(2, "Борис", "10.0.0.1", 100, 7) +
                     FooterRow(3, "(SUM=100.00)", "(SUM=7.00)") + SummaryRow(4));
}

TEST(XlsRecords, EmptyStatisticsGrid)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    EXPECT_BYTES(CellBytes(ExportBytes(f.Grid)), kHeading + Blank(1, 0, 25) + Blank(1, 1, 25) + Blank(1, 2, 25) +
                                                     Number(1, 3, 24, 0.0) + Number(1, 4, 24, 0.0));
}

TEST(XlsRecords, TwoGroupLevelsCloseInnermostFirst)
{
    // Grouped by hub, then by nick (which uses the default summary group, so both levels
    // have footers); upload moved to the front so the outer footer's first text shifts.
    TGridFixture f;
    ConfigureRatioLike(f);
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Анна"), std::string("H")},
               {2, 200.0, 3.0, "10.0.0.2", std::string("Анна"), std::string("H")}});
    TGridEngine& g = f.Grid;
    const int nick = g.ColumnByName("col_nick")->Index();
    g.GroupByColumn(nick, 1);
    g.MoveColumn(g.ColumnByName("m_vdx_ratio_DBGridupload")->Index(), 0);
    ASSERT_EQ(g.GroupColumnCount(), 2);
    ASSERT_EQ(g.HeaderColumns().size(), 3u);   // upload, IP, download

    const std::string heading = Blank(0, 0, 23) + Blank(0, 1, 23) + LabelU(0, 2, 22, "Отдано") +
                                LabelU(0, 3, 22, "IP адрес") + LabelU(0, 4, 22, "Принято");
    auto data = [](int row, const std::string& ip, double up, double down) {
        return Blank(row, 0, 23) + Blank(row, 1, 23) + Number(row, 2, 29, up) + LabelU(row, 3, 30, ip) +
               Number(row, 4, 31, down);
    };
    const std::string cells =
        heading +
        LabelU(1, 0, 23, "Хаб : H ") + Blank(1, 1, 23) + Blank(1, 2, 23) + Blank(1, 3, 23) + Blank(1, 4, 23) +
        Blank(2, 0, 23) + LabelU(2, 1, 23, "Ник : Анна ") + Blank(2, 2, 23) + Blank(2, 3, 23) + Blank(2, 4, 23) +
        data(3, "10.0.0.1", 100, 7) + data(4, "10.0.0.2", 200, 3) +
        // the nick group's footer (level 1)
        Blank(5, 0, 23) + Blank(5, 1, 23) + Label(5, 2, 27, "(SUM=300.00)") + Blank(5, 3, 28) +
        Label(5, 4, 27, "(SUM=10.00)") +
        // the hub group's footer (level 0): the first text moves to column 1
        Blank(6, 0, 23) + Label(6, 1, 27, "(SUM=300.00)") + Blank(6, 3, 28) + Label(6, 4, 27, "(SUM=10.00)") +
        Blank(6, 2, 28) +
        Blank(7, 0, 25) + Blank(7, 1, 25) + Formula(7, 2, 1, 6, 2, kSum) + Blank(7, 3, 25) +
        Formula(7, 4, 1, 6, 4, kSum);
    EXPECT_BYTES(CellBytes(ExportBytes(g)), cells);
}

TEST(XlsRecords, SecondExportOfTheSameGridGivesTheSameBytes)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Анна"), std::string("H")}});
    EXPECT_EQ(ExportBytes(f.Grid), ExportBytes(f.Grid));
}
