// The BIFF4 records: palette, fonts, cell formats, column widths and the cells, written
// in one pass as the sheet layer hands them over.
#include "export/GridExportXls.h"
#include "platform/Cp1251.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kBof = 0x0409, kCodePage = 0x0042, kGuts = 0x0080, kPalette = 0x0092,
                   kFont = 0x0231, kXf = 0x0443, kColInfo = 0x007D, kDimensions = 0x0200,
                   kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kRk = 0x027E,
                   kFormula = 0x0406, kEof = 0x000A;

constexpr int32_t kRkMin = -536870912, kRkMax = 536870911;

// Fixed-size record bytes built on the stack, then written in one piece.
template <size_t N>
struct TRecordBytes {
    uint8_t b[N] = {};
    size_t n = 0;
    TRecordBytes(uint16_t id, uint16_t length) { U16(id); U16(length); }
    TRecordBytes& U8(uint8_t v) { b[n++] = v; return *this; }
    TRecordBytes& U16(uint32_t v) { return Le(static_cast<uint16_t>(v)); }
    TRecordBytes& U32(uint32_t v) { return Le(v); }
    TRecordBytes& F64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return Le(bits);
    }
    template <typename T>
    TRecordBytes& Le(T v)
    {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(b + n, &v, sizeof v);
        n += sizeof v;
#else
        for (size_t i = 0; i < sizeof v; ++i)
            b[n++] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
#endif
        return *this;
    }
    TRecordBytes& Bytes(const uint8_t* p, size_t count) { std::memcpy(b + n, p, count); n += count; return *this; }
};

uint8_t AlignmentByte(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return 0x23;
    case taCenter: return 0x22;
    default: return 0x21;
    }
}

uint16_t FontOptions(const TGridFont& font)
{
    return static_cast<uint16_t>((font.Bold ? 1 : 0) | (font.Italic ? 2 : 0) | (font.Underline ? 4 : 0) |
                                 (font.StrikeOut ? 8 : 0));
}

// A thin line in a palette colour, or none.
uint8_t BorderByte(uint8_t color)
{
    return color ? static_cast<uint8_t>(1 | color << 3) : 0;
}

// The formula's area reference: a 14-bit row with the relative-row and -column flags.
uint16_t RelativeRow(int32_t row)
{
    return static_cast<uint16_t>((static_cast<uint32_t>(row) & 0x3FFF) | 0xC000);
}

} // namespace

void TGridExportXls::WriteBlank(int row, int col, uint16_t xf)
{
    TRecordBytes<10> r(kBlank, 6);
    r.U16(row & 0xFFFF).U16(col & 0xFFFF).U16(xf);
    Write(r.b, r.n);
}

void TGridExportXls::WriteLabel(int row, int col, uint16_t xf, const AnsiString& text)
{
    // A record's length field is 16 bits; no text of this program comes near it.
    const size_t length = std::min<size_t>(text.size(), 0xFFFF - 8);
    TRecordBytes<12> r(kLabel, static_cast<uint16_t>(8 + length));
    r.U16(row & 0xFFFF).U16(col & 0xFFFF).U16(xf).U16(static_cast<uint16_t>(length));
    Write(r.b, r.n);
    if (!length)
        return;
    // 0x98 has no character in code page 1251: readers that decode the file's code page
    // refuse the whole sheet over it, so it is written as the code page's "?".
    if (!std::memchr(text.data(), 0x98, length)) {
        Write(text.data(), length);
        return;
    }
    std::string clean(text.data(), length);
    std::replace(clean.begin(), clean.end(), '\x98', '?');
    Write(clean.data(), length);
}

void TGridExportXls::WriteNumber(int row, int col, uint16_t xf, double value)
{
    TRecordBytes<18> r(kNumber, 14);
    r.U16(row & 0xFFFF).U16(col & 0xFFFF).U16(xf).F64(value);
    Write(r.b, r.n);
}

void TGridExportXls::WriteInteger(int row, int col, uint16_t xf, int32_t value)
{
    // RK holds 30 bits; anything wider keeps its exact value as a double.
    if (value < kRkMin || value > kRkMax) {
        WriteNumber(row, col, xf, static_cast<double>(value));
        return;
    }
    TRecordBytes<14> r(kRk, 10);
    r.U16(row & 0xFFFF).U16(col & 0xFFFF).U16(xf).U32(static_cast<uint32_t>(value) * 4u + 2u);
    Write(r.b, r.n);
}

void TGridExportXls::WriteFont(const TGridFont& font, uint16_t colorIndex)
{
    const size_t length = std::min<size_t>(font.Name.size(), 255);
    TRecordBytes<11> r(kFont, static_cast<uint16_t>(7 + length));
    r.U16(static_cast<uint16_t>(font.Size * 20)).U16(FontOptions(font)).U16(colorIndex);
    r.U8(static_cast<uint8_t>(length));
    Write(r.b, r.n);
    Write(font.Name.data(), length);
}

void TGridExportXls::WriteXf(const uint8_t (&bytes)[12])
{
    TRecordBytes<16> r(kXf, 12);
    r.Bytes(bytes, 12);
    Write(r.b, r.n);
}

void TGridExportXls::WriteColInfo(int column, int width)
{
    TRecordBytes<16> r(kColInfo, 12);
    r.U16(column & 0xFFFF).U16(column & 0xFFFF).U16(static_cast<uint16_t>(width)).U16(15).U16(0).U16(0);
    Write(r.b, r.n);
}

void TGridExportXls::CheckLimits(const std::vector<const TGridNode*>& rows) const
{
    CheckSheetLimits(rows, MaxSheetRows, std::min(MaxSheetColumns - Grid.GroupColumnCount(), 256 - FirstColumnFont),
                     ".xls", true);
}

void TGridExportXls::DoBeginWriting()
{
    TGridExportSheet::DoBeginWriting();
    const std::vector<TExportColumn>& columns = Columns();
    const int groups = Groups();

    {
        TRecordBytes<10> r(kBof, 6);
        r.U16(0).U16(0x0010).U16(0);
        Write(r.b, r.n);
    }
    {
        // Without it readers take the texts for Latin-1.
        TRecordBytes<6> r(kCodePage, 2);
        r.U16(1251);
        Write(r.b, r.n);
    }
    {
        TRecordBytes<12> r(kGuts, 8);
        r.U32(0).U32(0);
        Write(r.b, r.n);
    }
    {
        const std::array<uint32_t, 13> palette = PaletteRgb();
        TRecordBytes<6> r(kPalette, 2 + 13 * 4);
        r.U16(13);
        Write(r.b, r.n);
        uint8_t entries[13 * 4];
        for (int i = 0; i < 13; ++i) {
            entries[i * 4] = static_cast<uint8_t>(palette[i] >> 16);
            entries[i * 4 + 1] = static_cast<uint8_t>(palette[i] >> 8);
            entries[i * 4 + 2] = static_cast<uint8_t>(palette[i]);
            entries[i * 4 + 3] = 0;
        }
        Write(entries, sizeof entries);
    }

    TGridFont arial;
    arial.Name = "Arial";
    arial.Size = 10;   // 200 twips
    for (int i = 0; i < 4; ++i)
        WriteFont(arial, 0x7FFF);
    for (const TSheetFont& font : Fonts())
        WriteFont(*font.Font, font.Color);

    static const uint8_t xf0[12] = {0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf1[12] = {0x01, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf3[12] = {0x02, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf5[12] = {0x00, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf15[12] = {0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t numberFormats[5] = {0x21, 0x1F, 0x20, 0x1E, 0x0D};
    WriteXf(xf0);
    WriteXf(xf1);
    WriteXf(xf1);
    WriteXf(xf3);
    WriteXf(xf3);
    for (int i = 5; i <= 14; ++i)
        WriteXf(xf5);
    WriteXf(xf15);
    for (uint8_t format : numberFormats) {
        const uint8_t style[12] = {0x01, format, 0xF5, 0xFF, 0x20, 0xF8, 0x00, 0xCE, 0, 0, 0, 0};
        WriteXf(style);
    }
    // 21: the base of the data cells, which no cell uses.
    const uint8_t line = Grid.ShowGrid ? BorderByte(20) : 0;
    const uint8_t xf21[12] = {0x05, 0x00, 0x01, 0x00, 0x21, 0x78, 0x41, 0x03, line, line, line, line};
    WriteXf(xf21);
    for (const TCellFormat& f : CellFormats()) {
        const uint16_t fill = static_cast<uint16_t>(1 | f.Fill << 6);   // solid, pattern colour
        const uint8_t data[12] = {static_cast<uint8_t>(f.Font), 0x00, 0x01, 0x00, AlignmentByte(f.Alignment),
                                  0x78, static_cast<uint8_t>(fill), static_cast<uint8_t>(fill >> 8),
                                  BorderByte(f.Border[0]), BorderByte(f.Border[1]), BorderByte(f.Border[2]),
                                  BorderByte(f.Border[3])};
        WriteXf(data);
    }

    const int sheetColumns = groups + static_cast<int>(columns.size());
    for (int col = 0; col < sheetColumns; ++col)
        WriteColInfo(col, ColumnWidth(col));

    {
        TRecordBytes<14> r(kDimensions, 10);
        r.U16(0).U16(0xFFFF).U16(0).U16(0x00FF).U16(0);
        Write(r.b, r.n);
    }
}

void TGridExportXls::WriteFormula(int row, int col, TSummaryType kind, int firstRow, int lastRow, int summedCol,
                                  double)
{
    uint8_t function[4];
    switch (kind) {
    case cstSum: function[0] = 0x19, function[1] = 0x10, function[2] = 0x00, function[3] = 0x00; break;
    case cstMin: function[0] = 0x42, function[1] = 0x01, function[2] = 0x06, function[3] = 0x00; break;
    case cstMax: function[0] = 0x42, function[1] = 0x01, function[2] = 0x07, function[3] = 0x00; break;
    case cstCount: function[0] = 0x42, function[1] = 0x01, function[2] = 0xA9, function[3] = 0x00; break;
    default: function[0] = 0x42, function[1] = 0x01, function[2] = 0x05, function[3] = 0x00; break;
    }
    // The cached result stays 0: the file asks to be recalculated when it is opened.
    TRecordBytes<33> r(kFormula, 29);
    r.U16(row & 0xFFFF).U16(col & 0xFFFF).U16(kXfFooterFormula);
    r.U32(0).U32(0);
    r.U16(0x0003);          // recalculate always, calculate on open
    r.U16(11);
    r.U8(0x25).U16(RelativeRow(firstRow)).U16(RelativeRow(lastRow));
    r.U8(static_cast<uint8_t>(summedCol)).U8(static_cast<uint8_t>(summedCol));
    r.Bytes(function, 4);
    Write(r.b, r.n);
}

void TGridExportXls::DoEndWriting()
{
    TRecordBytes<4> r(kEof, 0);
    Write(r.b, r.n);
}

void SaveToXLS(const TGridEngine& grid, const std::string& fileName, bool saveAll)
{
    TGridExportXls writer(grid, fileName, saveAll);
    writer.Execute();
}
