// The three loads against the engine alone reading the same rows with the same getters,
// and the loaded table's peak memory (heap plus record storage) against the bytes of its
// values. Every measurement runs in a child process of its own, so each load is the first
// one on fresh memory.
#include "Bench.h"
#include "BenchData.h"
#include "DemoData.h"
#include "HeapCounter.h"

#include "db/sqlite3x.h"
#include "platform/Cp1251.h"
#include "table/RecordStorage.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
         LogStatement(A("Все")), {R::Integer, R::Text, R::Text, R::Text, R::Text}},
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

struct LoadTimes {
    double ours, ref, oursWall, refWall;
    double storageBytes, records;   // of the last load
};

// Medians of `runs` fresh processes each: the load, and the engine alone reading the same.
LoadTimes TimeLoad(const LoadKind& k, const std::string& file, int runs)
{
    std::vector<double> ours, ref, oursWall, refWall;
    double storage = 0, records = 0;
    for (int run = 0; run < runs; ++run) {
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
            const double cpu = CpuMs() - c0, wall = BenchNowMs() - w0;
            return std::vector<double>{cpu, wall, static_cast<double>(table->StorageBytes()),
                                       static_cast<double>(table->GetRecordCount())};
        });
        ours.push_back(o[0]);
        oursWall.push_back(o[1]);
        storage = o[2];
        records = o[3];
    }
    return {BenchMedian(ours), BenchMedian(ref), BenchMedian(oursWall), BenchMedian(refWall), storage, records};
}

// CPU time to write a loaded table's record bytes once into fresh record storage, record by
// record as a load does, each time after the engine's scan in a process of its own as the
// load's own runs have it: on a virtual machine that hands freed memory back to its host,
// memory stays cheap for a moment after another process gave it back, and costs far more
// once the host has taken it (medians of `runs`).
double FreshMemoryMs(const LoadKind& k, const std::string& file, const LoadTimes& load, int runs)
{
    const size_t records = static_cast<size_t>(load.records);
    const size_t each = records ? static_cast<size_t>(load.storageBytes) / records : 0;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        InChild([&] {
            sqlite3_connection c;
            OpenAsTheProgramDoes(c, file);
            volatile long long sink = ScanOnly(c, k);
            (void)sink;
            return std::vector<double>{0};
        });
        times.push_back(InChild([&] {
            TRecordStorage storage;
            const double c0 = CpuMs();
            for (size_t i = 0; i < records; ++i) std::memset(storage.Allocate(each), 0x5A, each);
            return std::vector<double>{CpuMs() - c0};
        })[0]);
    }
    return BenchMedian(times);
}

void ReportTimes(const LoadKind& k, long long rows, const LoadTimes& t, int runs)
{
    Report(k.name, rows, "ms", t.ours, t.ref);
    std::printf("# %s rows=%lld wall ms: ours=%.1f ref=%.1f (medians of %d fresh processes each)\n", k.name, rows,
                t.oursWall, t.refWall, runs);
}

void TimeFigure(const LoadKind& k)
{
    for (long long rows : kSizes) ReportTimes(k, rows, TimeLoad(k, FileOf(k, DemoFolder(rows)), kRuns), kRuns);
}

struct LoadMemory {
    double peak, values, records;
};

// The loaded table's peak memory (heap plus record storage) and the bytes of its values.
LoadMemory MeasureMemory(const LoadKind& k, const std::string& file)
{
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
    return {v[0], v[1], v[2]};
}

void ReportMemory(const LoadKind& k, long long rows, const LoadMemory& m)
{
    Report(std::string(k.name) + "_mem", rows, "bytes", m.peak, m.values);
    std::printf("# %s_mem rows=%lld records=%.0f target ours <= 1.5*ref + 32*records = %.0f\n", k.name, rows,
                m.records, 1.5 * m.values + 32 * m.records);
}

void MemoryFigure(const LoadKind& k)
{
    if (!heapcount::Available()) {
        std::fprintf(stderr, "%s_mem: no heap counter in this build (sanitizers?)\n", k.name);
        return;
    }
    for (long long rows : kSizes) ReportMemory(k, rows, MeasureMemory(k, FileOf(k, DemoFolder(rows))));
}

// Years of logging: the log load at ten million rows beside one million, each against the
// engine reading the same rows, and how time and memory grow from the one to the other.
void TenMillionLogFigures(bool memory)
{
    const LoadKind& k = Kinds()[2];
    if (memory && !heapcount::Available()) {
        std::fprintf(stderr, "load_log_mem: no heap counter in this build (sanitizers?)\n");
        return;
    }
    const std::string big = LogDemoFolderIfRoom(kTenMillion);
    if (big.empty()) return;
    const std::string small = vdxdemo::LogDbPath(LogDemoFolder(kOneMillion));
    const std::string file = vdxdemo::LogDbPath(big);
    if (memory) {
        const LoadMemory a = MeasureMemory(k, small);
        const LoadMemory b = MeasureMemory(k, file);
        ReportMemory(k, kOneMillion, a);
        ReportMemory(k, kTenMillion, b);
        Report("load_log_mem_growth", kTenMillion, "bytes", b.peak, a.peak);
        std::printf("# load_log_mem_growth: memory at 10M over memory at 1M, target <= 10.5\n");
        return;
    }
    constexpr int kBigRuns = 3;
    const LoadTimes a = TimeLoad(k, small, kBigRuns);
    const LoadTimes b = TimeLoad(k, file, kBigRuns);
    ReportTimes(k, kOneMillion, a, kBigRuns);
    ReportTimes(k, kTenMillion, b, kBigRuns);
    Report("load_log_growth", kTenMillion, "ms", b.ours, a.ours);
    std::printf("# load_log_growth: time at 10M over time at 1M, target <= 11\n");
    // What the machine charges for the memory the table must hold, whatever the load does
    // with it, beside the same reference.
    const double freshA = FreshMemoryMs(k, small, a, kBigRuns), freshB = FreshMemoryMs(k, file, b, kBigRuns);
    Report("load_log_fresh_memory", kOneMillion, "ms", freshA, a.ref);
    Report("load_log_fresh_memory", kTenMillion, "ms", freshB, b.ref);
    std::printf("# load_log_fresh_memory: first writes of the loaded table's record bytes into fresh storage after "
                "the engine's scan, against that scan; the load's ratio less this one is the load's own part\n");
}

// Huge texts cost their stored size: the table's bytes after loading 40 log rows whose bodies
// are 2 MB each, against the same rows with bodies of 1,000 bytes (the same stored values).
void HugeTextsFigure()
{
    double bytes[2] = {0, 0};
    const long long lengths[2] = {2000000, 1000};
    for (int k = 0; k < 2; ++k) {
        const std::string file = CacheRoot() + "/huge-texts-" + std::to_string(lengths[k]) + ".sqlite";
        std::filesystem::create_directories(CacheRoot());
        std::filesystem::remove(file);
        {
            sqlite3_connection c;
            c.open(file.c_str());
            c.execute("CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT)");
            c.execute(("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 40) "
                       "INSERT INTO vdx_log SELECT i, 'file.txt', '2026-12-02 11:00', "
                       "substr(replace(hex(zeroblob(1000000)), '00', 'ab'), 1, " +
                       std::to_string(lengths[k]) + "), 'nick' FROM k")
                          .c_str());
        }
        bytes[k] = InChild([&] {
            sqlite3_connection c;
            OpenAsTheProgramDoes(c, file);
            auto table = MakeLogTable();
            LoadLog(c, *table, A("Все"));
            return std::vector<double>{static_cast<double>(table->StorageBytes())};
        })[0];
        std::filesystem::remove(file);
    }
    Report("load_log_huge_texts_mem", 40, "bytes", bytes[0], bytes[1]);
    std::printf("# load_log_huge_texts_mem: 2 MB bodies against 1,000-byte ones, target <= 1.5\n");
}

const TBenchRegistrar registrars[] = {
    {"load_dup", [] { TimeFigure(Kinds()[0]); }},
    {"load_ratio", [] { TimeFigure(Kinds()[1]); }},
    {"load_log", [] { TimeFigure(Kinds()[2]); }},
    {"load_dup_mem", [] { MemoryFigure(Kinds()[0]); }},
    {"load_ratio_mem", [] { MemoryFigure(Kinds()[1]); }},
    {"load_log_mem", [] { MemoryFigure(Kinds()[2]); }},
    {"load_log_huge_texts_mem", HugeTextsFigure},
    {"rows10m_load_log", [] { TenMillionLogFigures(false); }},
    {"rows10m_load_log_mem", [] { TenMillionLogFigures(true); }},
};

} // namespace
