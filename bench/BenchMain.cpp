// vandrix-bench: with no argument runs every figure; with names, only the figures whose
// names start with one of them.
#include "Bench.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {
std::vector<std::pair<std::string, std::function<void()>>>& Registry()
{
    static std::vector<std::pair<std::string, std::function<void()>>> figures;
    return figures;
}
} // namespace

void RegisterBench(const char* name, std::function<void()> fn)
{
    Registry().emplace_back(name, std::move(fn));
}

void Report(const std::string& name, long long rows, const std::string& unit, double ours, double ref)
{
    const double ratio = ref != 0 ? ours / ref : 0;
    std::printf("BENCH %s rows=%lld unit=%s ours=%.4f ref=%.4f ratio=%.3f\n", name.c_str(), rows,
                unit.c_str(), ours, ref, ratio);
    std::fflush(stdout);
}

double BenchNowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double BenchMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double BenchMedianMs(int runs, const std::function<void()>& fn)
{
    std::vector<double> times;
    for (int k = 0; k < runs; ++k) {
        const double t0 = BenchNowMs();
        fn();
        times.push_back(BenchNowMs() - t0);
    }
    return BenchMedian(std::move(times));
}

int main(int argc, char** argv)
{
    for (const auto& [name, fn] : Registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc && !wanted; ++i)
            wanted = std::strncmp(name.c_str(), argv[i], std::strlen(argv[i])) == 0;
        if (wanted)
            fn();
    }
    return 0;
}
