#pragma once
// Demo databases in the layout the Vandrix client writes: <folder>/Settings/Vandrix.sqlite
// (views v_vdx_dup_file and v_vdx_ratio over tables of our own design) and
// <folder>/Settings/Vandrix_log.sqlite (table vdx_log). Seeded and deterministic.
#include <cstdint>
#include <string>

namespace vdxdemo {

struct DemoOptions {
    int64_t rows = 20000;     // log rows and statistics rows
    uint32_t seed = 1;
    int64_t dupRows = -1;     // duplicate groups; -1: rows / 10 (at least 20)
    int64_t ratioRows = -1;   // statistics rows; -1: rows
    int hubs = -1;            // -1: grows with rows, several hundred at a million
};

struct DemoStats {
    int64_t dupRows = 0;      // rows of the duplicates table, video DVD files included
    int64_t dupVisible = 0;   // rows the viewer's duplicates statement keeps
    int64_t ratioRows = 0;
    int64_t ratioWithTraffic = 0; // rows with upload > 0 or download > 0
    int64_t logRows = 0;
    int hubs = 0;
};

std::string MainDbPath(const std::string& folder);
std::string LogDbPath(const std::string& folder);

// Writes both files, replacing any that exist. Throws std::runtime_error on failure.
// The files are left in rollback-journal mode, so that reading them changes no byte.
DemoStats GenerateDemo(const std::string& folder, const DemoOptions& options);

} // namespace vdxdemo
