#pragma once
// Demo databases shared by the figures, and measurements in a child process of their own.
#include <functional>
#include <string>
#include <vector>

// The cache folder of generated databases: $VDX_BENCH_CACHE, $XDG_CACHE_HOME/vandrix-bench
// or /tmp/vandrix-bench-cache.
std::string CacheRoot();

// Runs fn in a child process (fresh memory) and returns the doubles it hands back.
std::vector<double> InChild(const std::function<std::vector<double>()>& fn);

// Demo databases of n rows in every view, made once, kept between runs, read into the
// system's cache.
std::string DemoFolder(long long rows);

// Demo databases of n log rows and small other views (the figures for years of logging),
// made once and kept like DemoFolder's; not read into the cache ahead.
std::string LogDemoFolder(long long rows);

constexpr long long kOneMillion = 1000000;
constexpr long long kTenMillion = 10000000;

// LogDemoFolder(rows), or empty (saying so) when it is not made yet and the cache's disk has
// less than 4 GB free.
std::string LogDemoFolderIfRoom(long long rows);
