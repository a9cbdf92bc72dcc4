#include "platform/FileReplace.h"

#include <cerrno>
#include <dirent.h>
#include <vector>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A new, unused name beside the target, opened exclusively; -1 with errno set otherwise.
int CreateBeside(const std::string& folder, const std::string& baseName, std::string& path)
{
    std::random_device seed;
    std::mt19937 random(seed());
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // Long target names must still leave room for the suffix.
    const std::string stem = baseName.substr(0, 120);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(8, 'x');
        for (char& c : suffix)
            c = letters[random() % (sizeof letters - 1)];
        std::string candidate = folder + "/." + stem + "." + suffix + ".tmp";
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            path = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

TFileReplacement::~TFileReplacement()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !inPlace_ && !path_.empty())
        ::unlink(path_.c_str());
}

TFileReplacement::TStatus TFileReplacement::Open(const std::string& target)
{
    target_ = target;
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points to, not the link.
        if (char* real = ::realpath(target_.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && (S_ISDIR(st.st_mode) || ::access(target_.c_str(), W_OK) != 0))
        return CannotCreate;

    const size_t slash = target_.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const std::string baseName = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (baseName.empty())
        return CannotCreate;

    fd_ = CreateBeside(folder_, baseName, path_);
    if (fd_ >= 0) {
        if (exists)
            (void)::fchmod(fd_, st.st_mode & 07777);
        return Ok;
    }
    // A folder that takes no new file: an existing target we may write is written in
    // place, as a plain create-always would.
    if (exists && (errno == EACCES || errno == EPERM)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ >= 0) {
            path_ = target_;
            inPlace_ = true;
            return Ok;
        }
    }
    return CannotCreate;
}

TFileReplacement::TStatus TFileReplacement::Commit()
{
    if (::fsync(fd_) != 0)
        return WriteFailed;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return WriteFailed;
    if (inPlace_)
        return Ok;
    if (::rename(path_.c_str(), target_.c_str()) != 0)
        return CannotCreate;
    // The folder is not synced: after a crash either the old or the complete new file
    // is there, never a part of one.
    committed_ = true;
    return Ok;
}

long long FileWriteSome(int fd, const void* data, size_t size)
{
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

TScratchFolder::~TScratchFolder()
{
    if (path_.empty())
        return;
    if (DIR* dir = ::opendir(path_.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                ::unlink((path_ + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path_.c_str());
}

bool TScratchFolder::Create(const std::string& parent)
{
    for (const std::string& base : {parent, std::string()}) {
        std::string folder = base;
        if (folder.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            folder = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = folder + "/.vdx-export-XXXXXX";
        if (::mkdtemp(pattern.data())) {
            path_ = pattern;
            return true;
        }
    }
    return false;
}

void CloseFilesLeftOpen(const std::string& path, int keep)
{
    if (path.empty())
        return;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return;
    std::vector<int> lost;
    const int own = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] < '0' || e->d_name[0] > '9' || fd == own || fd == keep)
            continue;
        char target[4096];
        const ssize_t n = ::readlink((std::string("/proc/self/fd/") + e->d_name).c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const std::string file(target, static_cast<size_t>(n));
        if (file.compare(0, path.size(), path) == 0 &&
            (file.size() == path.size() || file[path.size()] == '/' || file[path.size()] == ' '))
            lost.push_back(fd);
    }
    ::closedir(dir);
    for (int fd : lost)
        ::close(fd);
}
