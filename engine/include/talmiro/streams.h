// Seekable byte streams. Reading goes through a block buffer so that the byte-by-byte logic of the
// readers costs neither a virtual call nor a system call per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

class TStream {
public:
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // The next byte (0..255), or -1 at the end of the data.
    int ReadByte() {
        if (cur_ < end_) return *cur_++;
        return Underflow();
    }
    // Up to n bytes; returns how many were read.
    size_t Read(void* buffer, size_t n);
    // Writes n bytes at the current position (raises when the stream is read-only).
    void Write(const void* buffer, size_t n);
    void WriteText(const std::string& text) { Write(text.data(), text.size()); }

    int64_t Position() const { return bufPos_ + (cur_ - buf_); }
    void Seek(int64_t position);
    // Steps back by one byte.
    void StepBack() {
        if (cur_ > buf_)
            --cur_;
        else
            Seek(Position() - 1);
    }
    virtual int64_t Size() = 0;

    // The bytes already buffered from the current position on, for scanners that take runs of bytes
    // at once; Skip(n) consumes n of them (n at most BufferedEnd() - BufferedBegin()).
    const uint8_t* BufferedBegin() const { return cur_; }
    const uint8_t* BufferedEnd() const { return end_; }
    void Skip(size_t n) { cur_ += n; }

protected:
    TStream() = default;
    // Fills the buffer at the current position; returns the next byte or -1.
    virtual int Underflow() = 0;
    virtual void SeekTo(int64_t position) = 0;
    virtual void WriteAt(const void* buffer, size_t n) = 0;

    // The buffer window: buf_ holds the bytes of the stream from position bufPos_ to end_.
    const uint8_t* buf_ = nullptr;
    const uint8_t* cur_ = nullptr;
    const uint8_t* end_ = nullptr;
    int64_t bufPos_ = 0;
};

enum class TFileMode { OpenRead, Create };

// A file: opened for reading (others may read it again later from any position) or created empty
// for writing. Opening a file that cannot be opened raises EFOpenError.
class TFileStream final : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode = TFileMode::OpenRead);
    ~TFileStream() override;
    int64_t Size() override;
    const std::string& FileName() const { return fileName_; }
    // Writes out buffered output; raises on a write error.
    void Flush();

protected:
    int Underflow() override;
    void SeekTo(int64_t position) override;
    void WriteAt(const void* buffer, size_t n) override;

private:
    static constexpr size_t BlockSize = 1 << 16;
    std::string fileName_;
    int fd_ = -1;
    bool writable_ = false;
    std::vector<uint8_t> block_;
    std::vector<uint8_t> pending_; // buffered output
    int64_t pendingPos_ = 0;
};

// A stream over bytes held in memory; it grows when written beyond its end.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() { Reset(); }
    explicit TMemoryStream(std::string_view bytes);
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    const std::vector<uint8_t>& Data() const { return data_; }
    std::string Text() const { return std::string(data_.begin(), data_.end()); }

protected:
    int Underflow() override;
    void SeekTo(int64_t position) override;
    void WriteAt(const void* buffer, size_t n) override;

private:
    void Reset(int64_t position = 0);
    std::vector<uint8_t> data_;
};

// Tests whether a file of that name exists.
bool FileExists(const std::string& fileName);

} // namespace talmiro
