#pragma once
// Byte streams the spreadsheet writer writes into: a memory stream for tests and
// measurements, and a buffered stream over an open file.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TOutputStream {
public:
    virtual ~TOutputStream();
    // Raises "Stream write error" when the bytes cannot be written.
    virtual void Write(const void* data, size_t size) = 0;
};

class TMemoryStream : public TOutputStream {
public:
    void Write(const void* data, size_t size) override;
    std::string Bytes;
};

// Buffered output to a file descriptor it does not own. Bytes reach the file when the
// buffer is full and on Flush; a failed or short write raises "Stream write error" and
// every later write fails too, so a file is never written with a gap in it.
class TFileStream : public TOutputStream {
public:
    explicit TFileStream(int fd, size_t bufferSize = 64 * 1024);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    void Write(const void* data, size_t size) override
    {
        if (size <= capacity_ - used_ && !failed_) {
            std::char_traits<char>::copy(buffer_ + used_, static_cast<const char*>(data), size);
            used_ += size;
            return;
        }
        WriteSlow(data, size);
    }
    void Flush();
    uint64_t Written() const { return written_; }   // bytes handed to the file so far

    // Test seam: when set, asked before every write to a file with the file offset and
    // the size of the write; false makes that write fail as a full disk would.
    using TWriteFault = std::function<bool(uint64_t offset, size_t size)>;
    static void SetWriteFaultHook(TWriteFault hook);

private:
    void WriteSlow(const void* data, size_t size);
    void WriteToFile(const char* data, size_t size);

    int fd_;
    char* buffer_;
    size_t capacity_;
    size_t used_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};
