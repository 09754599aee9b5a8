#include "talmiro/streams.h"

#include "talmiro/exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talmiro {

namespace {

[[noreturn]] void RaiseIoError(const std::string& what) {
    int code = errno;
    throw EInOutError(what + ": " + std::strerror(code), code);
}

[[noreturn]] void RaiseBadPosition() { throw Exception("Invalid stream position"); }

} // namespace

size_t TStream::Read(void* buffer, size_t n) {
    auto* dst = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < n) {
        if (cur_ < end_) {
            size_t k = std::min(n - got, static_cast<size_t>(end_ - cur_));
            std::memcpy(dst + got, cur_, k);
            cur_ += k;
            got += k;
        } else {
            int c = Underflow();
            if (c < 0) break;
            dst[got++] = static_cast<uint8_t>(c);
        }
    }
    return got;
}

void TStream::Write(const void* buffer, size_t n) {
    if (n == 0) return;
    WriteAt(buffer, n);
}

void TStream::Seek(int64_t position) {
    if (position < 0) RaiseBadPosition();
    if (position >= bufPos_ && position <= bufPos_ + (end_ - buf_)) {
        cur_ = buf_ + (position - bufPos_);
        return;
    }
    SeekTo(position);
}

// ---------------------------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
    if (mode == TFileMode::OpenRead) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0) throw EFOpenError("Datei " + fileName + " kann nicht geöffnet werden");
        block_.resize(BlockSize);
    } else {
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) throw EFCreateError("Datei " + fileName + " kann nicht erstellt werden");
        writable_ = true;
    }
    buf_ = cur_ = end_ = block_.data();
}

TFileStream::~TFileStream() {
    if (fd_ < 0) return;
    try {
        Flush();
    } catch (...) {
        // A destructor cannot report; callers that care call Flush first.
    }
    ::close(fd_);
}

void TFileStream::Flush() {
    size_t done = 0;
    while (done < pending_.size()) {
        ssize_t k = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                             static_cast<off_t>(pendingPos_ + static_cast<int64_t>(done)));
        if (k < 0) {
            if (errno == EINTR) continue;
            pending_.clear();
            RaiseIoError("Write error in " + fileName_);
        }
        done += static_cast<size_t>(k);
    }
    pendingPos_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
}

int64_t TFileStream::Size() {
    if (writable_) Flush();
    struct stat st {};
    if (::fstat(fd_, &st) != 0) RaiseIoError("Cannot stat " + fileName_);
    return static_cast<int64_t>(st.st_size);
}

int TFileStream::Underflow() {
    if (writable_) return -1;
    // Keep the tail of the old window so that stepping back over a block boundary stays in memory.
    constexpr size_t KeepBack = 16 * 1024;
    const int64_t pos = Position();
    size_t keep = std::min(KeepBack, static_cast<size_t>(cur_ - buf_));
    if (keep > 0 && cur_ != block_.data() + keep) std::memmove(block_.data(), cur_ - keep, keep);
    ssize_t k;
    do {
        k = ::pread(fd_, block_.data() + keep, BlockSize - keep, static_cast<off_t>(pos));
    } while (k < 0 && errno == EINTR);
    if (k < 0) RaiseIoError("Read error in " + fileName_);
    buf_ = block_.data();
    bufPos_ = pos - static_cast<int64_t>(keep);
    cur_ = buf_ + keep;
    end_ = cur_ + k;
    if (k == 0) return -1;
    return *cur_++;
}

void TFileStream::SeekTo(int64_t position) {
    if (writable_) {
        Flush();
        pendingPos_ = position;
    }
    bufPos_ = position;
    buf_ = cur_ = end_ = block_.data();
}

void TFileStream::WriteAt(const void* buffer, size_t n) {
    if (!writable_) throw EInOutError("Stream is read-only: " + fileName_, EBADF);
    const int64_t pos = Position();
    if (pos != pendingPos_ + static_cast<int64_t>(pending_.size())) {
        Flush();
        pendingPos_ = pos;
    }
    auto* src = static_cast<const uint8_t*>(buffer);
    pending_.insert(pending_.end(), src, src + n);
    if (pending_.size() >= BlockSize) Flush();
    bufPos_ = pos + static_cast<int64_t>(n);
    buf_ = cur_ = end_ = block_.data();
}

// ---------------------------------------------------------------------------------------------------------

TMemoryStream::TMemoryStream(std::string_view bytes) : data_(bytes.begin(), bytes.end()) { Reset(); }

void TMemoryStream::Reset(int64_t position) {
    buf_ = data_.data();
    end_ = buf_ + data_.size();
    cur_ = buf_ + position;
    bufPos_ = 0;
}

int TMemoryStream::Underflow() { return -1; }

void TMemoryStream::SeekTo(int64_t) { RaiseBadPosition(); }

void TMemoryStream::WriteAt(const void* buffer, size_t n) {
    const auto pos = static_cast<size_t>(Position());
    if (pos + n > data_.size()) data_.resize(pos + n);
    std::memcpy(data_.data() + pos, buffer, n);
    Reset(static_cast<int64_t>(pos + n));
}

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace talmiro
