// The three loads against the engine alone reading the same rows with the same getters,
// and the loaded table's peak memory (heap plus record storage) against the bytes of its
// values. Every measurement runs in a child process of its own, so each load is the first
// one on fresh memory.
#include "Bench.h"
#include "DemoData.h"
#include "HeapCounter.h"

#include "db/sqlite3x.h"
#include "platform/Cp1251.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace sqlite3x;

namespace {

constexpr long long kSizes[] = {10000, 100000, 1000000};
constexpr int kRuns = 5;
// Bump when the generator's output changes, so that cached databases are made again.
constexpr const char* kDataVersion = "g2";

std::string CacheRoot()
{
    if (const char* own = std::getenv("VDX_BENCH_CACHE"); own && *own)
        return own;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/vandrix-bench";
    return "/tmp/vandrix-bench-cache";
}

// Runs fn in a child process and returns the doubles it hands back.
std::vector<double> InChild(const std::function<std::vector<double>()>& fn)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        int status = 0;
        try {
            const std::vector<double> values = fn();
            const size_t n = values.size();
            if (write(fds[1], &n, sizeof n) != sizeof n ||
                write(fds[1], values.data(), n * sizeof(double)) != static_cast<ssize_t>(n * sizeof(double)))
                status = 2;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench child: %s\n", e.what());
            status = 1;
        }
        _exit(status);
    }
    close(fds[1]);
    size_t n = 0;
    std::vector<double> values;
    if (read(fds[0], &n, sizeof n) == sizeof n && n < 64) {
        values.resize(n);
        if (read(fds[0], values.data(), n * sizeof(double)) != static_cast<ssize_t>(n * sizeof(double)))
            values.clear();
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || values.empty())
        throw std::runtime_error("bench child failed");
    return values;
}

// Demo databases of n rows in every view, made once and kept between runs.
std::string DemoFolder(long long rows)
{
    const std::string folder = CacheRoot() + "/demo-" + kDataVersion + "-rows" + std::to_string(rows);
    const std::string marker = folder + "/complete";
    if (!std::filesystem::exists(marker)) {
        std::filesystem::create_directories(folder);
        std::fprintf(stderr, "generating %s ...\n", folder.c_str());
        InChild([&] {
            vdxdemo::DemoOptions o;
            o.rows = rows;
            o.dupRows = rows;
            o.seed = 1;
            vdxdemo::GenerateDemo(folder, o);
            return std::vector<double>{0};
        });
        std::ofstream(marker) << "ok\n";
    }
    // Bring both files into the system's cache, so that no child pays for the disk.
    for (const auto& f : {vdxdemo::MainDbPath(folder), vdxdemo::LogDbPath(folder)}) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
    }
    return folder;
}

struct LoadKind {
    const char* name;
    bool logDb;
    std::function<std::unique_ptr<TRecordTable>()> makeTable;
    std::function<void(sqlite3_connection&, TRecordTable&)> load;
    std::string sql;
    std::vector<TColumnRead> columns;
};

const std::vector<LoadKind>& Kinds()
{
    using R = TColumnRead;
    static const std::vector<LoadKind> kinds = {
        {"load_dup", false, MakeDupTable, [](sqlite3_connection& c, TRecordTable& t) { LoadDuplicates(c, t); },
         kDuplicatesStatement, {R::Integer, R::Integer, R::Text, R::Text, R::Text, R::Text}},
        {"load_ratio", false, MakeRatioTable,
         [](sqlite3_connection& c, TRecordTable& t) { LoadRatio(c, t, true); }, RatioStatement(true),
         {R::Integer, R::Int64, R::Int64, R::Text, R::Text, R::Text}},
        {"load_log", true, MakeLogTable, [](sqlite3_connection& c, TRecordTable& t) { LoadLog(c, t, A("Все")); },
         LogStatement(A("Все")), {R::Integer, R::Text, R::RawText, R::Text, R::Text}},
    };
    return kinds;
}

void OpenAsTheProgramDoes(sqlite3_connection& c, const std::string& file)
{
    c.open(file.c_str());
    c.execute("PRAGMA page_size=4096;");
    c.execute("PRAGMA temp_store=MEMORY;");
}

// The floor: the same statement, every column read with the same getter, nothing kept.
long long ScanOnly(sqlite3_connection& c, const LoadKind& k)
{
    auto command = std::make_unique<sqlite3_command>(c, k.sql);
    sqlite3_reader r = command->open_reader();
    long long sink = 0;
    while (r.next_row()) {
        for (size_t i = 0; i < k.columns.size(); ++i) {
            const int index = static_cast<int>(i);
            switch (k.columns[i]) {
            case TColumnRead::Integer: sink += r.column_int(index); break;
            case TColumnRead::Int64: sink += r.column_int64(index); break;
            default: sink += static_cast<long long>(r.column_text(index).size()); break;
            }
        }
    }
    return sink;
}

std::string FileOf(const LoadKind& k, const std::string& folder)
{
    return k.logDb ? vdxdemo::LogDbPath(folder) : vdxdemo::MainDbPath(folder);
}

// CPU time of this process (user and system) in ms: steadier than the wall clock on a
// shared machine, and it still counts the kernel's work for fresh memory.
double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void TimeFigure(const LoadKind& k)
{
    for (long long rows : kSizes) {
        const std::string file = FileOf(k, DemoFolder(rows));
        std::vector<double> ours, ref, oursWall, refWall;
        for (int run = 0; run < kRuns; ++run) {
            auto r = InChild([&] {
                sqlite3_connection c;
                OpenAsTheProgramDoes(c, file);
                const double w0 = BenchNowMs(), c0 = CpuMs();
                volatile long long sink = ScanOnly(c, k);
                (void)sink;
                return std::vector<double>{CpuMs() - c0, BenchNowMs() - w0};
            });
            ref.push_back(r[0]);
            refWall.push_back(r[1]);
            auto o = InChild([&] {
                sqlite3_connection c;
                OpenAsTheProgramDoes(c, file);
                auto table = k.makeTable();
                const double w0 = BenchNowMs(), c0 = CpuMs();
                k.load(c, *table);
                return std::vector<double>{CpuMs() - c0, BenchNowMs() - w0};
            });
            ours.push_back(o[0]);
            oursWall.push_back(o[1]);
        }
        Report(k.name, rows, "ms", Median(ours), Median(ref));
        std::printf("# %s rows=%lld wall ms: ours=%.1f ref=%.1f (medians of %d fresh processes each)\n", k.name,
                    rows, Median(oursWall), Median(refWall), kRuns);
    }
}

void MemoryFigure(const LoadKind& k)
{
    if (!heapcount::Available()) {
        std::fprintf(stderr, "%s_mem: no heap counter in this build (sanitizers?)\n", k.name);
        return;
    }
    for (long long rows : kSizes) {
        const std::string file = FileOf(k, DemoFolder(rows));
        const auto v = InChild([&] {
            heapcount::SetCounting(true);
            sqlite3_connection c;
            OpenAsTheProgramDoes(c, file);
            ScanOnly(c, k); // the engine's page cache reaches its working size first
            auto table = k.makeTable();
            const long long before = heapcount::InUse();
            heapcount::ResetPeak();
            k.load(c, *table);
            // Stored records come from chunks the table maps itself, outside the heap: count
            // every byte it reserved (the chunks only grow during a load).
            const double peak =
                static_cast<double>(heapcount::Peak() - before) + static_cast<double>(table->StorageBytes());
            // Bytes of the values: text lengths, 4 per integer, 8 per float.
            double values = 0;
            for (int i = 0; i < table->GetRecordCount(); ++i) {
                const TRecord* r = table->RecordAt(i);
                for (int f = 0; f < table->FieldCount(); ++f) {
                    const TRecordField& field = table->Field(f);
                    values += field.Kind == ftInteger ? 4
                              : field.Kind == ftFloat ? 8
                                                      : static_cast<double>(table->GetString(r, field).size());
                }
            }
            return std::vector<double>{peak, values, static_cast<double>(table->GetRecordCount())};
        });
        Report(std::string(k.name) + "_mem", rows, "bytes", v[0], v[1]);
        std::printf("# %s_mem rows=%lld records=%.0f target ours <= 1.5*ref + 32*records = %.0f\n", k.name, rows,
                    v[2], 1.5 * v[1] + 32 * v[2]);
    }
}

const TBenchRegistrar registrars[] = {
    {"load_dup", [] { TimeFigure(Kinds()[0]); }},
    {"load_ratio", [] { TimeFigure(Kinds()[1]); }},
    {"load_log", [] { TimeFigure(Kinds()[2]); }},
    {"load_dup_mem", [] { MemoryFigure(Kinds()[0]); }},
    {"load_ratio_mem", [] { MemoryFigure(Kinds()[1]); }},
    {"load_log_mem", [] { MemoryFigure(Kinds()[2]); }},
};

} // namespace
