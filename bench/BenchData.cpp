// Demo databases shared by the figures, and measurements in a child process of their own.
#include "BenchData.h"
#include "DemoData.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

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

namespace {

std::string MakeOnce(const std::string& folder, const vdxdemo::DemoOptions& o)
{
    const std::string marker = folder + "/complete";
    if (!std::filesystem::exists(marker)) {
        std::filesystem::create_directories(folder);
        std::fprintf(stderr, "generating %s ...\n", folder.c_str());
        InChild([&] {
            vdxdemo::GenerateDemo(folder, o);
            return std::vector<double>{0};
        });
        std::ofstream(marker) << "ok\n";
    }
    return folder;
}

} // namespace

// Demo databases of n rows in every view, made once and kept between runs.
std::string DemoFolder(long long rows)
{
    vdxdemo::DemoOptions o;
    o.rows = rows;
    o.dupRows = rows;
    o.seed = 1;
    const std::string folder =
        MakeOnce(CacheRoot() + "/demo-" + kDataVersion + "-rows" + std::to_string(rows), o);
    // Bring both files into the system's cache, so that no child pays for the disk.
    for (const auto& f : {vdxdemo::MainDbPath(folder), vdxdemo::LogDbPath(folder)}) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
    }
    return folder;
}

namespace {

std::string LogFolderName(long long rows)
{
    return CacheRoot() + "/demo-" + kDataVersion + "-log" + std::to_string(rows);
}

} // namespace

std::string LogDemoFolder(long long rows)
{
    vdxdemo::DemoOptions o;
    o.rows = rows;
    o.dupRows = 20;
    o.ratioRows = 1000;
    o.seed = 1;
    return MakeOnce(LogFolderName(rows), o);
}

std::string LogDemoFolderIfRoom(long long rows)
{
    if (!std::filesystem::exists(LogFolderName(rows) + "/complete")) {
        std::error_code ec;
        std::filesystem::create_directories(CacheRoot(), ec);
        const auto space = std::filesystem::space(CacheRoot(), ec);
        constexpr std::uintmax_t kNeeded = std::uintmax_t(4) << 30;
        if (ec || space.available < kNeeded) {
            std::printf("# skipped: %lld log rows need 4 GB free in %s\n", rows, CacheRoot().c_str());
            return std::string();
        }
    }
    return LogDemoFolder(rows);
}
