#include "export/OutputStream.h"
#include "platform/Exception.h"
#include "platform/FileReplace.h"

#include <cstring>

namespace {

TFileStream::TWriteFault& FaultHook()
{
    static TFileStream::TWriteFault hook;
    return hook;
}

[[noreturn]] void StreamWriteError()
{
    throw Exception("Stream write error");
}

} // namespace

TOutputStream::~TOutputStream() = default;

void TMemoryStream::Write(const void* data, size_t size)
{
    Bytes.append(static_cast<const char*>(data), size);
}

TFileStream::TFileStream(int fd, size_t bufferSize)
    : fd_(fd), buffer_(new char[bufferSize ? bufferSize : 1]), capacity_(bufferSize ? bufferSize : 1)
{
}

TFileStream::~TFileStream()
{
    delete[] buffer_;
}

void TFileStream::SetWriteFaultHook(TWriteFault hook)
{
    FaultHook() = std::move(hook);
}

void TFileStream::WriteSlow(const void* data, size_t size)
{
    if (failed_)
        StreamWriteError();
    const char* bytes = static_cast<const char*>(data);
    if (used_ > 0 && size > capacity_ - used_) {
        // Top the buffer up first so the file sees full-sized writes.
        const size_t part = capacity_ - used_;
        std::memcpy(buffer_ + used_, bytes, part);
        used_ += part;
        bytes += part;
        size -= part;
        Flush();
    }
    if (size >= capacity_) {
        WriteToFile(bytes, size);
        return;
    }
    std::memcpy(buffer_ + used_, bytes, size);
    used_ += size;
}

void TFileStream::Flush()
{
    if (failed_)
        StreamWriteError();
    if (used_ == 0)
        return;
    const size_t size = used_;
    used_ = 0;
    WriteToFile(buffer_, size);
}

void TFileStream::WriteToFile(const char* data, size_t size)
{
    while (size > 0) {
        if (FaultHook() && !FaultHook()(written_, size)) {
            failed_ = true;
            StreamWriteError();
        }
        const long long n = FileWriteSome(fd_, data, size);
        if (n <= 0) {
            failed_ = true;
            StreamWriteError();
        }
        data += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
}
