#pragma once
// Registry of benchmark figures. Each figure registers itself with a static object and
// prints its result with Report():
//   BENCH <name> rows=<n> unit=<ms or bytes> ours=<x> ref=<y> ratio=<x/y>
#include <functional>
#include <string>
#include <vector>

void RegisterBench(const char* name, std::function<void()> fn);
void Report(const std::string& name, long long rows, const std::string& unit, double ours, double ref);

// Milliseconds of steady time since an arbitrary start.
double BenchNowMs();

double BenchMedian(std::vector<double> values);
// Median milliseconds of `runs` calls of fn.
double BenchMedianMs(int runs, const std::function<void()>& fn);

struct TBenchRegistrar {
    TBenchRegistrar(const char* name, std::function<void()> fn) { RegisterBench(name, std::move(fn)); }
};

#define VDX_BENCH_CAT2(a, b) a##b
#define VDX_BENCH_CAT(a, b) VDX_BENCH_CAT2(a, b)
// VDX_BENCH("name") { ...body... }
#define VDX_BENCH(name)                                                                   \
    static void VDX_BENCH_CAT(BenchFn_, __LINE__)();                                     \
    static TBenchRegistrar VDX_BENCH_CAT(BenchReg_, __LINE__)(name, VDX_BENCH_CAT(BenchFn_, __LINE__)); \
    static void VDX_BENCH_CAT(BenchFn_, __LINE__)()
