#include "ExportFixture.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace exporttest {

TGridFixture::TGridFixture() = default;
TGridFixture::~TGridFixture()
{
    Grid.SetDataSource(nullptr);
}

TDataGridColumn& TGridFixture::AddColumn(const std::string& field, const std::string& captionUtf8, int width)
{
    TDataGridColumn& c = Grid.AddColumn();
    c.Name = "col_" + field;
    c.FieldName = field;
    c.Caption = A(captionUtf8);
    c.Width = width;
    return c;
}

void TGridFixture::Attach(int viewWidth)
{
    Grid.SetViewWidth(viewWidth);
    Grid.SetDataSource(&Source);
    Grid.LayoutChanged();
    Table.OpenTable();
}

void TGridFixture::AddRow(const std::vector<TValue>& values)
{
    Table.BeginAppend();
    for (size_t i = 0; i < values.size() && static_cast<int>(i) < Table.FieldCount(); ++i) {
        const TRecordField& field = Table.Field(static_cast<int>(i));
        const TValue& v = values[i];
        if (auto p = std::get_if<int32_t>(&v))
            Table.SetInteger(field, *p);
        else if (auto p = std::get_if<double>(&v))
            Table.SetFloat(field, *p);
        else if (auto p = std::get_if<std::string>(&v))
            Table.SetString(field, Utf8ToCp1251(*p));
    }
    Table.PostRecord();
}

void TGridFixture::AddRows(const std::vector<std::vector<TValue>>& rows)
{
    Table.FreezeControls();
    for (const auto& row : rows)
        AddRow(row);
    Table.ReleaseControls();
}

void ConfigureRatioLike(TGridFixture& f, int viewWidth)
{
    f.Table.AddField("ID", ftInteger);
    f.Table.AddField("upload", ftFloat);
    f.Table.AddField("download", ftFloat);
    f.Table.AddField("userip", ftString, 16);
    f.Table.AddField("nick", ftString, 100);
    f.Table.AddField("hub", ftString, 100);
    TGridEngine& g = f.Grid;
    g.KeyField = "id";
    TDataGridColumn& id = f.AddColumn("id", "", 248);
    id.Visible = false;
    f.AddColumn("nick", "Ник", 141).Sorted = csUp;
    f.AddColumn("userip", "IP адрес", 154);
    for (const char* field : {"upload", "download"}) {
        TDataGridColumn& c = f.AddColumn(field, std::string(field) == "upload" ? "Отдано" : "Принято",
                                         std::string(field) == "upload" ? 221 : 220);
        c.Name = std::string("m_vdx_ratio_DBGrid") + field;
        c.SummaryFooterType = cstSum;
        c.SummaryFooterFormat = A("Сумма: 0.00");
        c.SummaryGroupName = "m_vdx_ratio_DBGridSummaryGroup1";
    }
    TDataGridColumn& hub = f.AddColumn("hub", "Хаб", 2336);
    hub.Visible = false;
    hub.Sorted = csUp;
    hub.GroupIndex = 0;
    TSummaryGroup& group = g.AddSummaryGroup();
    group.Name = "m_vdx_ratio_DBGridSummaryGroup2";
    group.DefaultGroup = true;
    group.SummaryItems.push_back({"m_vdx_ratio_DBGriddownload", "download", cstSum, "(SUM=0.00)"});
    group.SummaryItems.push_back({"m_vdx_ratio_DBGridupload", "upload", cstSum, "(SUM=0.00)"});
    f.Attach(viewWidth);
}

void AddRatioRow(TGridFixture& f, int32_t id, std::optional<double> upload, std::optional<double> download,
                 const std::string& ip, const std::string& nickUtf8, const std::string& hubUtf8)
{
    TGridFixture::TValue up, down;
    if (upload)
        up = *upload;
    if (download)
        down = *download;
    f.AddRows({{id, up, down, ip, nickUtf8, hubUtf8}});
}

// ---------------------------------------------------------------------------------------

std::string Hex(const std::string& text)
{
    std::string out;
    int nibble = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<char>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return out;
}

std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

namespace {
std::string U16(uint32_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string Cell(int row, int col, int xf)
{
    return U16(row) + U16(col) + U16(xf);
}
} // namespace

std::string Record(uint16_t id, const std::string& data)
{
    return U16(id) + U16(static_cast<uint32_t>(data.size())) + data;
}

std::string Blank(int row, int col, int xf)
{
    return Record(0x0201, Cell(row, col, xf));
}

std::string Label(int row, int col, int xf, const std::string& ansi)
{
    return Record(0x0204, Cell(row, col, xf) + U16(static_cast<uint32_t>(ansi.size())) + ansi);
}

std::string LabelU(int row, int col, int xf, const std::string& utf8)
{
    return Label(row, col, xf, Utf8ToCp1251(utf8));
}

std::string Number(int row, int col, int xf, double value)
{
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);   // the test machine is little-endian
    return Record(0x0203, Cell(row, col, xf) + bytes);
}

std::string Rk(int row, int col, int xf, int32_t value)
{
    const uint32_t rk = static_cast<uint32_t>(value) * 4u + 2u;
    return Record(0x027E, Cell(row, col, xf) + U16(rk & 0xFFFF) + U16(rk >> 16));
}

std::string Formula(int row, int col, int firstRow, int lastRow, int summedCol, const std::string& functionHex)
{
    std::string tokens = Hex("25") + U16((firstRow & 0x3FFF) | 0xC000) + U16((lastRow & 0x3FFF) | 0xC000) +
                         std::string{static_cast<char>(summedCol), static_cast<char>(summedCol)} +
                         Hex(functionHex);
    return Record(0x0406, Cell(row, col, 24) + std::string(8, '\0') + Hex("03 00 0B 00") + tokens);
}

std::string Eof()
{
    return Record(0x000A, "");
}

std::vector<TXlsRecord> SplitRecords(const std::string& bytes)
{
    std::vector<TXlsRecord> out;
    size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        const auto b = reinterpret_cast<const unsigned char*>(bytes.data() + pos);
        const uint16_t id = static_cast<uint16_t>(b[0] | (b[1] << 8));
        const size_t length = static_cast<size_t>(b[2] | (b[3] << 8));
        if (pos + 4 + length > bytes.size()) {
            ADD_FAILURE() << "record " << std::hex << id << " at " << std::dec << pos << " runs past the end";
            return out;
        }
        out.push_back({id, bytes.substr(pos + 4, length)});
        pos += 4 + length;
    }
    if (pos != bytes.size())
        ADD_FAILURE() << "trailing bytes after the last record";
    return out;
}

std::string CellBytes(const std::string& file)
{
    std::string out;
    bool inCells = false;
    for (const TXlsRecord& r : SplitRecords(file)) {
        if (r.Id == 0x000A)
            break;
        if (inCells)
            out += Record(r.Id, r.Data);
        if (r.Id == 0x0200)
            inCells = true;
    }
    return out;
}

std::string Describe(const std::string& bytes)
{
    std::ostringstream out;
    for (const TXlsRecord& r : SplitRecords(bytes)) {
        char id[8];
        std::snprintf(id, sizeof id, "%04X", r.Id);
        out << id << ": " << ToHex(r.Data) << "\n";
    }
    return out.str();
}

std::string ExportBytes(const TGridEngine& grid, bool saveAll)
{
    TGridExportXls writer(grid, "", saveAll);
    TMemoryStream stream;
    writer.SaveToStream(stream);
    return stream.Bytes;
}

// ---------------------------------------------------------------------------------------

namespace {

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char k = text[++i];
            out += k == 't' ? '\t' : k == 'n' ? '\n' : k;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

const TReadCell* TReadBack::At(int row, int col) const
{
    const auto it = Cells.find({row, col});
    return it == Cells.end() ? nullptr : &it->second;
}

TReadBack ReadWithXlrd(const std::string& file)
{
    TReadBack result;
    const std::string command = "/usr/bin/python3 '" VDX_SOURCE_DIR "/tests/export/xls_dump.py' '" + file + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        result.Error = "cannot start the reader";
        return result;
    }
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0) {
        result.Error = output;
        return result;
    }
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = SplitTabs(line);
        if (f[0] == "sheet" && f.size() == 3) {
            result.Rows = std::stoi(f[1]);
            result.Cols = std::stoi(f[2]);
        } else if (f[0] == "cell" && f.size() == 6) {
            TReadCell cell;
            cell.Kind = f[3];
            cell.Xf = std::stoi(f[4]);
            if (cell.Kind == "text")
                cell.Text = Unescape(f[5]);
            else if (cell.Kind == "number")
                cell.Value = std::stod(f[5]);
            result.Cells[{std::stoi(f[1]), std::stoi(f[2])}] = cell;
        } else if (f[0] == "xf") {
            result.Xfs.emplace_back(f.begin() + 1, f.end());
        } else if (f[0] == "font") {
            result.Fonts.emplace_back(f.begin() + 1, f.end());
        } else if (f[0] == "colour") {
            result.Colours.emplace_back(f.begin() + 1, f.end());
        } else if (f[0] == "colwidth" && f.size() == 3) {
            result.ColWidths[std::stoi(f[1])] = std::stoi(f[2]);
        }
    }
    result.Ok = true;
    return result;
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "(no error)";
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> out;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                out.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void WriteFile(const std::string& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace exporttest
