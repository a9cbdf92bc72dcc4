// vdx-demo-gen <folder> [--rows N] [--seed S]: writes demo databases into <folder>/Settings.
#include "DemoData.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: vdx-demo-gen <folder> [--rows N] [--seed S]\n");
    return 2;
}

bool ParseNumber(const char* text, unsigned long long& out)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && text[0] != '-';
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    vdxdemo::DemoOptions options;
    for (int i = 1; i < argc; ++i) {
        unsigned long long v;
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            if (!ParseNumber(argv[++i], v) || v > 100000000ull)
                return Usage();
            options.rows = static_cast<int64_t>(v);
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            if (!ParseNumber(argv[++i], v) || v > 0xFFFFFFFFull)
                return Usage();
            options.seed = static_cast<uint32_t>(v);
        } else if (argv[i][0] == '-' || !folder.empty()) {
            return Usage();
        } else {
            folder = argv[i];
        }
    }
    if (folder.empty())
        return Usage();
    try {
        const auto start = std::chrono::steady_clock::now();
        const auto s = vdxdemo::GenerateDemo(folder, options);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s/Settings: %lld duplicate groups (%lld shown), %lld statistics rows (%lld with traffic) "
                    "on %d hubs, %lld log rows in %.1f s\n",
                    folder.c_str(), static_cast<long long>(s.dupRows), static_cast<long long>(s.dupVisible),
                    static_cast<long long>(s.ratioRows), static_cast<long long>(s.ratioWithTraffic), s.hubs,
                    static_cast<long long>(s.logRows), secs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vdx-demo-gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
