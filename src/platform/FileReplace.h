#pragma once
// Writing a file that takes an existing file's place only once it is complete: the bytes
// go to a new file beside the target, which is renamed over the target at the end, with
// the replaced file's permission bits. Where the folder takes no new file but the target
// itself may be written, the target is written in place instead. The POSIX calls of a
// file writer live here; callers turn the outcomes into their own messages.
#include <cstddef>
#include <string>

class TFileReplacement {
public:
    enum TStatus { Ok, CannotCreate, WriteFailed };

    TFileReplacement() = default;
    // Closes the file; a temporary file that was not committed is removed.
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    // Opens the file to write for target (a native path; a link is followed to the file
    // it names). CannotCreate: a folder or a file that may not be written is in the
    // way, or no file can be made; nothing was changed then.
    TStatus Open(const std::string& target);

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }     // the file being written
    const std::string& Folder() const { return folder_; } // the target's folder
    bool InPlace() const { return inPlace_; }

    // Syncs and closes the file, then renames it over the target. WriteFailed: the bytes
    // did not reach the disk; CannotCreate: the rename failed. Either way the target is
    // as it was (unless written in place).
    TStatus Commit();

private:
    int fd_ = -1;
    std::string path_, target_, folder_;
    bool inPlace_ = false;
    bool committed_ = false;
};

// One write(2) of at most size bytes, retried when a signal interrupts it: the bytes
// written, or -1.
long long FileWriteSome(int fd, const void* data, size_t size);

// A folder of our own, for another library's temporary files; removed with what it holds.
class TScratchFolder {
public:
    TScratchFolder() = default;
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    // Makes it in parent, or in the system's temporary folder when that fails or parent
    // is empty. False when neither takes it.
    bool Create(const std::string& parent);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Closes the descriptors this process holds on the file path or on files below it, also
// deleted ones, except keep: what a library left open on its error path, holding their
// disk space.
void CloseFilesLeftOpen(const std::string& path, int keep = -1);
