// export_xls: the spreadsheet export of the statistics grid against the bare cost of
// writing as many bytes through one buffered stream into a file of the same folder.
#include "Bench.h"
#include "app/GridLayouts.h"
#include "export/GridExportXls.h"
#include "export/OutputStream.h"
#include "grid/GridEngine.h"
#include "views/Tables.h"

#include <algorithm>
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
