#include "export/GridExport.h"
#include "platform/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

// ---------------------------------------------------------------------------------------
// The walker

namespace {

void AppendSubtree(const TGridNode* node, std::vector<const TGridNode*>& out)
{
    out.push_back(node);
    const int n = TGridEngine::ChildCount(node);
    for (int i = 0; i < n; ++i)
        AppendSubtree(TGridEngine::Child(node, i), out);
}

void AppendMarked(const TGridNode* node, const std::unordered_set<const TGridNode*>& marked,
                  std::vector<const TGridNode*>& out)
{
    if (marked.count(node))
        out.push_back(node);
    const int n = TGridEngine::ChildCount(node);
    for (int i = 0; i < n; ++i)
        AppendMarked(TGridEngine::Child(node, i), marked, out);
}

void MarkSubtree(const TGridNode* node, std::unordered_set<const TGridNode*>& marked)
{
    marked.insert(node);
    const int n = TGridEngine::ChildCount(node);
    for (int i = 0; i < n; ++i)
        MarkSubtree(TGridEngine::Child(node, i), marked);
}

Exception CannotCreate(const std::string& fileName)
{
    return Exception(FormatMessage("Cannot create file %s", {Utf8ToCp1251(fileName)}));
}

Exception StreamWriteError()
{
    return Exception("Stream write error");
}

// The new file of an export until it has taken the target's place.
class TTempFile {
public:
    TTempFile(const std::string& folder, const std::string& baseName, const std::string& target)
    {
        std::random_device seed;
        std::mt19937 random(seed());
        static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        // Long target names must still leave room for the suffix.
        const std::string stem = baseName.substr(0, 120);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string suffix(8, 'x');
            for (char& c : suffix)
                c = letters[random() % (sizeof letters - 1)];
            std::string path = folder + "/." + stem + "." + suffix + ".tmp";
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                path_ = std::move(path);
                return;
            }
            if (errno != EEXIST)
                break;
        }
        throw CannotCreate(target);
    }
    ~TTempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    void Close()
    {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw StreamWriteError();
    }
    void Committed() { path_.clear(); }

private:
    int fd_ = -1;
    std::string path_;
};

} // namespace

TGridExport::TGridExport(const TGridEngine& grid, std::string fileName, bool saveAll)
    : Grid(grid), FileName(std::move(fileName)), SaveAll(saveAll)
{
}

TGridExport::~TGridExport() = default;

void TGridExport::DoBeginWriting() {}
void TGridExport::DoEndWriting() {}
void TGridExport::DoWriteHeader() {}
void TGridExport::DoWriteFooter() {}
void TGridExport::DoWriteRecord(const TGridNode*) {}
void TGridExport::CheckLimits(const std::vector<const TGridNode*>&) const {}

std::vector<const TGridNode*> TGridExport::RowsToWrite() const
{
    std::vector<const TGridNode*> rows;
    const int top = Grid.TopCount();
    const TGridNode* focused = Grid.FocusedNode();
    if (SaveAll || !focused) {
        for (int i = 0; i < top; ++i)
            AppendSubtree(Grid.Top(i), rows);
        return rows;
    }
    std::unordered_set<const TGridNode*> marked;
    for (const TGridNode* up = TGridEngine::Parent(focused); up; up = TGridEngine::Parent(up))
        marked.insert(up);
    MarkSubtree(focused, marked);
    for (int i = 0; i < top; ++i)
        AppendMarked(Grid.Top(i), marked, rows);
    return rows;
}

void TGridExport::Prepare()
{
    rows_ = RowsToWrite();
    CheckLimits(rows_);
    prepared_ = true;
}

void TGridExport::SaveToStream(TOutputStream& stream)
{
    if (!Grid.DataSource() || !Grid.Table())
        return;
    if (!prepared_)
        Prepare();
    stream_ = &stream;
    DoBeginWriting();
    RowCounter = 0;
    try {
        DoWriteHeader();
        // Rows come in display order while their records lie in load order; fetching
        // records a few rows ahead hides the memory latency that dominates big exports.
        constexpr size_t ahead = 8;
        const size_t count = rows_.size();
        for (size_t k = 0; k < count; ++k) {
            if (k + ahead < count)
                if (const auto* record = reinterpret_cast<const char*>(Grid.Record(rows_[k + ahead]))) {
                    __builtin_prefetch(record);
                    __builtin_prefetch(record + 64);
                }
            DoWriteRecord(rows_[k]);
            ++RowCounter;
        }
        DoWriteFooter();
    } catch (...) {
        // The end record is still attempted; the first error is the one reported.
        try {
            DoEndWriting();
        } catch (...) {
        }
        stream_ = nullptr;
        throw;
    }
    DoEndWriting();
    stream_ = nullptr;
}

void TGridExport::Execute()
{
    Prepare();

    std::string target = FileName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points to, not the link.
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (S_ISDIR(st.st_mode) || ::access(target.c_str(), W_OK) != 0))
        throw CannotCreate(FileName);

    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string baseName = slash == std::string::npos ? target : target.substr(slash + 1);
    if (baseName.empty())
        throw CannotCreate(FileName);

    TTempFile file(folder, baseName, FileName);
    if (exists)
        (void)::fchmod(file.Fd(), st.st_mode & 07777);
    {
        TFileStream stream(file.Fd());
        SaveToStream(stream);
        stream.Flush();
    }
    if (::fsync(file.Fd()) != 0)
        throw StreamWriteError();
    file.Close();
    if (::rename(file.Path().c_str(), target.c_str()) != 0)
        throw CannotCreate(FileName);
    // The folder is not synced: after a crash either the old or the complete new file
    // is there, never a part of one.
    file.Committed();
}

// ---------------------------------------------------------------------------------------
// BIFF4 records

namespace {

constexpr uint16_t kBof = 0x0409, kCodePage = 0x0042, kGuts = 0x0080, kPalette = 0x0092,
                   kFont = 0x0231, kXf = 0x0443, kColInfo = 0x007D, kDimensions = 0x0200,
                   kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kRk = 0x027E,
                   kFormula = 0x0406, kEof = 0x000A;

constexpr uint16_t kXfCaption = 22, kXfGroup = 23, kXfFooterFormula = 24, kXfFooterBlank = 25,
                   kXfBand = 26, kXfGroupFooterText = 27, kXfGroupFooterBlank = 28,
                   kXfFirstData = 29;

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

// The formula's area reference: a 14-bit row with the relative-row and -column flags.
uint16_t RelativeRow(int32_t row)
{
    return static_cast<uint16_t>((static_cast<uint32_t>(row) & 0x3FFF) | 0xC000);
}

std::string UpperName(std::string_view name)
{
    return AnsiUpperCase(name);
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

int TGridExportXls::SheetRowsNeeded(const std::vector<const TGridNode*>& rows) const
{
    int64_t needed = (Grid.ShowHeader ? 1 : 0) + (Grid.ShowBands ? 1 : 0);
    for (const TGridNode* row : rows)
        needed += 1 + Grid.GetRowFooterCount(row);
    if (Grid.ShowSummaryFooter)
        ++needed;
    return static_cast<int>(std::min<int64_t>(needed, INT_MAX));
}

void TGridExportXls::CheckLimits(const std::vector<const TGridNode*>& rows) const
{
    const int needed = SheetRowsNeeded(rows);
    if (needed > MaxSheetRows)
        throw Exception(FormatMessage("Cannot export %s rows: a worksheet holds at most %s",
                                      {std::to_string(needed), std::to_string(MaxSheetRows)}));
    const int columns = static_cast<int>(Grid.HeaderColumns().size());
    const int groups = Grid.GroupColumnCount();
    const int most = std::min(MaxSheetColumns - groups, 256 - FirstColumnFont);
    if (columns > most)
        throw Exception(FormatMessage("Cannot export %s columns: a worksheet holds at most %s",
                                      {std::to_string(columns), std::to_string(most)}));
}

void TGridExportXls::DoBeginWriting()
{
    groups_ = Grid.GroupColumnCount();
    heading_ = (Grid.ShowHeader ? 1 : 0) + (Grid.ShowBands ? 1 : 0);
    columns_.clear();
    for (int column : Grid.HeaderColumns()) {
        TExportColumn c;
        c.Column = column;
        c.Field = Grid.Column(column).FieldName.empty() ? nullptr : Grid.ColumnField(column);
        c.DataXf = static_cast<uint16_t>(kXfFirstData + columns_.size());
        columns_.push_back(c);
    }

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
        const TColor palette[13] = {
            Grid.HeaderFont.Color, Grid.HeaderColor, Grid.GroupNodeTextColor, Grid.GroupNodeColor,
            Grid.Font.Color, Grid.Color, clWindowFrame, clWindow, Grid.BandFont.Color, Grid.BandColor,
            Grid.RowFooterTextColor, Grid.RowFooterColor, Grid.GridLineColor};
        TRecordBytes<6> r(kPalette, 2 + 13 * 4);
        r.U16(13);
        Write(r.b, r.n);
        uint8_t entries[13 * 4];
        for (int i = 0; i < 13; ++i) {
            const uint32_t rgb = ColorToRGB(palette[i]);
            entries[i * 4] = RedOf(rgb);
            entries[i * 4 + 1] = GreenOf(rgb);
            entries[i * 4 + 2] = BlueOf(rgb);
            entries[i * 4 + 3] = 0;
        }
        Write(entries, sizeof entries);
    }

    TGridFont arial;
    arial.Name = "Arial";
    arial.Size = 10;   // 200 twips
    for (int i = 0; i < 4; ++i)
        WriteFont(arial, 0x7FFF);
    WriteFont(Grid.Font, 12);
    WriteFont(Grid.HeaderFont, 8);
    WriteFont(Grid.Font, 10);
    WriteFont(Grid.BandFont, 16);
    WriteFont(Grid.Font, 18);
    for (const TExportColumn& c : columns_)
        WriteFont(Grid.ColumnFont(c.Column), 12);

    const uint8_t border = Grid.ShowGrid ? 0xA1 : 0x00;
    static const uint8_t xf0[12] = {0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf1[12] = {0x01, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf3[12] = {0x02, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf5[12] = {0x00, 0x00, 0xF5, 0xFF, 0x20, 0xF4, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t xf15[12] = {0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0xCE, 0, 0, 0, 0};
    static const uint8_t numberFormats[5] = {0x21, 0x1F, 0x20, 0x1E, 0x0D};
    const uint8_t xf21[12] = {0x05, 0x00, 0x01, 0x00, 0x21, 0x78, 0x41, 0x03, border, border, border, border};
    static const uint8_t xf22[12] = {0x06, 0x00, 0x01, 0x00, 0x22, 0x78, 0x41, 0x02, 0x71, 0x71, 0x71, 0x71};
    static const uint8_t xf23[12] = {0x07, 0x00, 0x01, 0x00, 0x21, 0x78, 0xC1, 0x02, 0x00, 0x00, 0x00, 0x00};
    static const uint8_t xf24[12] = {0x05, 0x00, 0x01, 0x00, 0x22, 0x78, 0xC1, 0x02, 0xB9, 0xB9, 0xB9, 0xB9};
    static const uint8_t xf25[12] = {0x05, 0x00, 0x01, 0x00, 0x22, 0x78, 0xC1, 0x02, 0xB9, 0x00, 0xB9, 0x00};
    static const uint8_t xf26[12] = {0x08, 0x00, 0x01, 0x00, 0x22, 0x78, 0x41, 0x02, 0x71, 0x71, 0x71, 0x00};
    static const uint8_t xf27[12] = {0x09, 0x00, 0x01, 0x00, 0x21, 0x78, 0xC1, 0x02, 0xB9, 0xB9, 0xB9, 0xB9};
    static const uint8_t xf28[12] = {0x09, 0x00, 0x01, 0x00, 0x21, 0x78, 0xC1, 0x02, 0xB9, 0x00, 0xB9, 0x00};
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
    WriteXf(xf21);
    WriteXf(xf22);
    WriteXf(xf23);
    WriteXf(xf24);
    WriteXf(xf25);
    WriteXf(xf26);
    WriteXf(xf27);
    WriteXf(xf28);
    for (size_t i = 0; i < columns_.size(); ++i) {
        const uint8_t data[12] = {static_cast<uint8_t>(FirstColumnFont + i), 0x00, 0x01, 0x00,
                                  AlignmentByte(Grid.ColumnAlignment(columns_[i].Column)), 0x78, 0x41, 0x03,
                                  border, border, border, border};
        WriteXf(data);
    }

    for (int g = 0; g < groups_; ++g)
        WriteColInfo(g, 400);
    for (size_t i = 0; i < columns_.size(); ++i) {
        const int64_t width = static_cast<int64_t>(Grid.DisplayWidth(columns_[i].Column)) * 36;
        WriteColInfo(groups_ + static_cast<int>(i), static_cast<int>(std::clamp<int64_t>(width, 0, 0xFFFF)));
    }

    {
        TRecordBytes<14> r(kDimensions, 10);
        r.U16(0).U16(0xFFFF).U16(0).U16(0x00FF).U16(0);
        Write(r.b, r.n);
    }
}

void TGridExportXls::DoWriteHeader()
{
    const int n = static_cast<int>(columns_.size());
    if (Grid.ShowBands) {
        // The engine has no bands of its own: all header columns form one band without
        // a caption.
        for (int g = 0; g < groups_; ++g)
            WriteBlank(RowCounter, g, kXfGroup);
        for (int i = 0; i < n; ++i)
            WriteBlank(RowCounter, groups_ + i, kXfGroup);
        WriteLabel(RowCounter, groups_, kXfBand, AnsiString());
        ++RowCounter;
    }
    if (Grid.ShowHeader) {
        for (int g = 0; g < groups_; ++g)
            WriteBlank(RowCounter, g, kXfGroup);
        for (int i = 0; i < n; ++i) {
            const TDataGridColumn& column = Grid.Column(columns_[i].Column);
            WriteLabel(RowCounter, groups_ + i, kXfCaption,
                       column.DisableCaption ? AnsiString() : Grid.ColumnCaption(columns_[i].Column));
        }
        ++RowCounter;
    }
}

void TGridExportXls::DoWriteRecord(const TGridNode* node)
{
    const int level = TGridEngine::Level(node);
    const bool group = TGridEngine::IsGroup(node) || TGridEngine::ChildCount(node) > 0;
    for (int g = 0; g < groups_; ++g) {
        if (g == level)
            WriteLabel(RowCounter, g, kXfGroup,
                       TGridEngine::IsGroup(node) ? Grid.GroupRowText(node)
                                                  : Grid.DisplayText(node, Grid.GroupColumn(g)));
        else
            WriteBlank(RowCounter, g, kXfGroup);
    }

    const int n = static_cast<int>(columns_.size());
    for (int i = 0; i < n; ++i) {
        const TExportColumn& c = columns_[i];
        const int col = groups_ + i;
        if (group) {
            WriteBlank(RowCounter, col, kXfGroup);
            continue;
        }
        if (!c.Field) {
            WriteLabel(RowCounter, col, c.DataXf, AnsiString());
            continue;
        }
        switch (c.Field->Kind) {
        case ftInteger: {
            const TGridValue v = Grid.Value(node, c.Column);
            WriteInteger(RowCounter, col, c.DataXf, v.kind == TGridValue::Integer ? v.i : 0);
            break;
        }
        case ftFloat: {
            const TGridValue v = Grid.Value(node, c.Column);
            WriteNumber(RowCounter, col, c.DataXf,
                        v.kind == TGridValue::Float     ? v.f
                        : v.kind == TGridValue::Integer ? static_cast<double>(v.i)
                                                        : 0.0);
            break;
        }
        default:
            WriteLabel(RowCounter, col, c.DataXf, Grid.DisplayText(node, c.Column));
            break;
        }
    }

    const int footers = Grid.GetRowFooterCount(node);
    for (int k = 0; k < footers; ++k) {
        ++RowCounter;
        const int closes = Grid.GetNodeFooterLevel(node, k);
        for (int col = 0; col <= closes; ++col)
            WriteBlank(RowCounter, col, kXfGroup);
        const bool shifted = groups_ - closes - 1 > 0;
        for (int i = 0; i < n; ++i) {
            const int column = columns_[i].Column;
            if (Grid.IsExistRowFooterCell(node, k, column))
                WriteLabel(RowCounter, i == 0 && shifted ? closes + 1 : groups_ + i, kXfGroupFooterText,
                           Grid.GetFooterCellText(node, k, column));
            else
                WriteBlank(RowCounter, groups_ + i, kXfGroupFooterBlank);
        }
        if (shifted)
            for (int col = groups_; col >= closes + 2; --col)
                WriteBlank(RowCounter, col, kXfGroupFooterBlank);
    }
}

void TGridExportXls::DoWriteFooter()
{
    if (!Grid.ShowSummaryFooter)
        return;
    for (int g = 0; g < groups_; ++g)
        WriteBlank(RowCounter, g, kXfFooterBlank);
    const int n = static_cast<int>(columns_.size());
    for (int i = 0; i < n; ++i) {
        const TDataGridColumn& column = Grid.Column(columns_[i].Column);
        const TSummaryType kind = column.SummaryFooterType;
        int summed = -1;
        if (kind == cstCount) {
            summed = i;
        } else if (kind != cstNone) {
            const std::string field =
                UpperName(column.SummaryFooterField.empty() ? column.FieldName : column.SummaryFooterField);
            for (int j = 0; j < n && summed < 0; ++j)
                if (UpperName(Grid.Column(columns_[j].Column).FieldName) == field)
                    summed = j;
        }
        if (summed < 0) {
            WriteBlank(RowCounter, groups_ + i, kXfFooterBlank);
            continue;
        }
        uint8_t function[4];
        switch (kind) {
        case cstSum: function[0] = 0x19, function[1] = 0x10, function[2] = 0x00, function[3] = 0x00; break;
        case cstMin: function[0] = 0x42, function[1] = 0x01, function[2] = 0x06, function[3] = 0x00; break;
        case cstMax: function[0] = 0x42, function[1] = 0x01, function[2] = 0x07, function[3] = 0x00; break;
        case cstCount: function[0] = 0x42, function[1] = 0x01, function[2] = 0xA9, function[3] = 0x00; break;
        default: function[0] = 0x42, function[1] = 0x01, function[2] = 0x05, function[3] = 0x00; break;
        }
        TRecordBytes<33> r(kFormula, 29);
        r.U16(RowCounter & 0xFFFF).U16((groups_ + i) & 0xFFFF).U16(kXfFooterFormula);
        r.U32(0).U32(0);        // cached result
        r.U16(0x0003);          // recalculate always, calculate on open
        r.U16(11);
        r.U8(0x25).U16(RelativeRow(heading_)).U16(RelativeRow(RowCounter - 1));
        r.U8(static_cast<uint8_t>(groups_ + summed)).U8(static_cast<uint8_t>(groups_ + summed));
        r.Bytes(function, 4);
        Write(r.b, r.n);
    }
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
