// export_xls: the BIFF4 export of the statistics grid against the bare cost of
// writing as many bytes through one buffered stream into a file of the same folder.
#include "Bench.h"
#include "app/GridLayouts.h"
#include "HeapCounter.h"
#include "export/GridExportXls.h"
#include "export/OutputStream.h"
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"
#include "views/Tables.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRows = 16000;
constexpr int kHubs = 60;
constexpr int kRuns = 15;

// The records of a file, each as one piece, as the writer hands them on.
std::vector<std::string> Records(const std::string& bytes)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        const size_t length = static_cast<unsigned char>(bytes[pos + 2]) |
                              (static_cast<size_t>(static_cast<unsigned char>(bytes[pos + 3])) << 8);
        out.push_back(bytes.substr(pos, 4 + length));
        pos += 4 + length;
    }
    return out;
}

double WriteRecords(const std::string& file, const std::vector<std::string>& records)
{
    const double start = BenchNowMs();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    {
        TFileStream stream(fd);
        for (const std::string& r : records)
            stream.Write(r.data(), r.size());
        stream.Flush();
    }
    ::fsync(fd);
    ::close(fd);
    return BenchNowMs() - start;
}

} // namespace

VDX_BENCH("export_xls")
{
    std::string folder = std::filesystem::temp_directory_path().string() + "/vdx-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::fprintf(stderr, "export_xls: no temporary folder\n");
        return;
    }
    {
        std::unique_ptr<TRecordTable> table = MakeRatioTable();
        TDataSource source(table.get());
        TGridEngine grid;
        ConfigureRatioGrid(grid);
        grid.SetViewWidth(736);
        grid.SetDataSource(&source);
        table->OpenTable();
        table->FreezeControls();
        const TRecordField& id = FieldByName(*table, "ID");
        const TRecordField& upload = FieldByName(*table, "upload");
        const TRecordField& download = FieldByName(*table, "download");
        const TRecordField& ip = FieldByName(*table, "userip");
        const TRecordField& nick = FieldByName(*table, "nick");
        const TRecordField& hub = FieldByName(*table, "hub");
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u; };
        for (int i = 0; i < kRows; ++i) {
            table->BeginAppend();
            table->SetInteger(id, i + 1);
            table->SetFloat(upload, static_cast<double>(next() % 100000000));
            table->SetFloat(download, static_cast<double>(next() % 100000000));
            table->SetString(ip, "10." + std::to_string(next() % 256) + "." + std::to_string(next() % 256) + "." +
                                     std::to_string(next() % 256));
            table->SetString(nick, "user_" + std::to_string(next() % 100000));
            table->SetString(hub, "dchub://hub" + std::to_string(i % kHubs) + ".example.net:411");
            table->PostRecord();
        }
        table->ReleaseControls();

        TMemoryStream memory;
        TGridExportXls(grid, "", true).SaveToStream(memory);
        const std::vector<std::string> records = Records(memory.Bytes);

        const std::string target = folder + "/export.xls";
        const std::string plain = folder + "/plain.bin";
        double ours = 1e300, ref = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            const double start = BenchNowMs();
            SaveToXLS(grid, target, true);
            ours = std::min(ours, BenchNowMs() - start);
            ref = std::min(ref, WriteRecords(plain, records));
        }
        Report("export_xls", kRows, "ms", ours, ref);
        grid.SetDataSource(nullptr);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// export_xlsx: a million log rows through the .xlsx writer against libxlsxwriter writing
// the same cells directly, both in constant-memory mode and synced to disk; then the
// writer's peak heap against the library's own.
namespace {

constexpr int kXlsxRows = 1000000;

void FillLog(TRecordTable& table, std::vector<std::array<std::string, 3>>& utf8)
{
    const TRecordField& id = FieldByName(table, "ID");
    const TRecordField& file = FieldByName(table, "file");
    const TRecordField& sdate = FieldByName(table, "sdate");
    const TRecordField& body = FieldByName(table, "body");
    const TRecordField& nick = FieldByName(table, "nick");
    uint32_t seed = 4242;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    static const char* const words[] = {"Файл", "загружен", "пользователем", "upload", "очередь", "хаб",
                                        "соединение", "закрыто", "download", "ошибка"};
    table.FreezeControls();
    for (int i = 0; i < kXlsxRows; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "2026-%02u-%02u %02u:%02u:%02u", next() % 12 + 1, next() % 28 + 1,
                      next() % 24, next() % 60, next() % 60);
        std::string text;
        for (int w = 0; w < 8; ++w)
            text += std::string(words[next() % 10]) + " ";
        const std::string who = "ник_" + std::to_string(next() % 5000);
        table.BeginAppend();
        table.SetInteger(id, i + 1);
        table.SetString(file, "share/file" + std::to_string(i) + ".bin");
        table.SetString(sdate, date);
        table.SetString(body, Utf8ToCp1251(text));
        table.SetString(nick, Utf8ToCp1251(who));
        table.PostRecord();
        utf8.push_back({date, who, text});
    }
    table.ReleaseControls();
}

// The same cells straight through the library: heading, rows, blank footer.
double WriteDirect(const std::string& file, const std::string& tmpdir, const std::vector<std::array<std::string, 3>>& rows)
{
    const double start = BenchNowMs();
    std::string dir = tmpdir;
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = dir.data();
    lxw_workbook* book = workbook_new_opt(file.c_str(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* caption = workbook_add_format(book);
    format_set_font_name(caption, "MS Sans Serif");
    format_set_font_size(caption, 8);
    format_set_align(caption, LXW_ALIGN_CENTER);
    format_set_pattern(caption, LXW_PATTERN_SOLID);
    format_set_bg_color(caption, 0xD4D0C8);
    format_set_border(caption, LXW_BORDER_THIN);
    lxw_format* data = workbook_add_format(book);
    format_set_font_name(data, "MS Sans Serif");
    format_set_font_size(data, 8);
    format_set_align(data, LXW_ALIGN_LEFT);
    format_set_pattern(data, LXW_PATTERN_SOLID);
    format_set_bg_color(data, 0xFFFFFF);
    format_set_border(data, LXW_BORDER_THIN);
    for (lxw_col_t c = 0; c < 3; ++c) {
        worksheet_set_column_pixels(sheet, c, c, 100, nullptr);
        worksheet_write_string(sheet, 0, c, "", caption);
    }
    lxw_row_t r = 1;
    for (const auto& row : rows) {
        for (lxw_col_t c = 0; c < 3; ++c)
            worksheet_write_string(sheet, r, c, row[c].c_str(), data);
        ++r;
    }
    for (lxw_col_t c = 0; c < 3; ++c)
        worksheet_write_blank(sheet, r, c, caption);
    workbook_close(book);
    // On disk before it counts as written, as the writer's file is.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return BenchNowMs() - start;
}

} // namespace

VDX_BENCH("export_xlsx")
{
    std::string folder = std::filesystem::temp_directory_path().string() + "/vdx-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::fprintf(stderr, "export_xlsx: no temporary folder\n");
        return;
    }
    {
        std::unique_ptr<TRecordTable> table = MakeLogTable();
        TDataSource source(table.get());
        TGridEngine grid;
        ConfigureLogGrid(grid);
        grid.SetViewWidth(752);
        grid.SetDataSource(&source);
        table->OpenTable();
        std::vector<std::array<std::string, 3>> utf8;
        utf8.reserve(kXlsxRows);
        FillLog(*table, utf8);

        const std::string target = folder + "/export.xlsx", plain = folder + "/direct.xlsx";
        double ours = 1e300, ref = 1e300;
        // Alternating which goes first, so that neither always meets the other's
        // leftovers in the page cache.
        for (int run = 0; run < 4; ++run) {
            if (run % 2)
                ref = std::min(ref, WriteDirect(plain, folder, utf8));
            const double start = BenchNowMs();
            SaveToXLSX(grid, target, true);
            ours = std::min(ours, BenchNowMs() - start);
            if (run % 2 == 0)
                ref = std::min(ref, WriteDirect(plain, folder, utf8));
        }
        Report("export_xlsx", kXlsxRows, "ms", ours, ref);

        if (heapcount::Available()) {
            heapcount::SetCounting(true);
            heapcount::ResetPeak();
            const long long base = heapcount::InUse();
            SaveToXLSX(grid, target, true);
            const long long oursPeak = heapcount::Peak() - base;
            heapcount::ResetPeak();
            const long long base2 = heapcount::InUse();
            WriteDirect(plain, folder, utf8);
            const long long refPeak = heapcount::Peak() - base2;
            heapcount::SetCounting(false);
            Report("export_xlsx_heap", kXlsxRows, "bytes", static_cast<double>(oursPeak), static_cast<double>(refPeak));
        }
        grid.SetDataSource(nullptr);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
