#include "talmiro/edi_writer.h"

#include "talmiro/exceptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talmiro {

TSegmentValues TSegmentValues::Of(std::string tag, const std::vector<TOccurrence>& elements) {
    TSegmentValues segment;
    segment.Tag = std::move(tag);
    for (const TOccurrence& element : elements)
        segment.Elements.push_back({element});
    return segment;
}

TEdiWriter::TEdiWriter(const TDelimiters& delimiters, std::string lineEnd)
    : delimiters_(delimiters), lineEnd_(std::move(lineEnd)) {}

std::string TEdiWriter::Escape(std::string_view value) const {
    const TDelimiters& d = delimiters_;
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == d.ComponentSeparator || c == d.ElementSeparator || c == d.SegmentTerminator ||
            (d.ReleaseChar != ' ' && c == d.ReleaseChar) ||
            (d.RepetitionSeparator && c == d.RepetitionSeparator))
            out += d.ReleaseChar;
        out += c;
    }
    return out;
}

namespace {

// The number of items up to the last non-empty one.
template <typename T, typename Empty> size_t Used(const std::vector<T>& items, Empty empty) {
    size_t n = items.size();
    while (n > 0 && empty(items[n - 1]))
        --n;
    return n;
}

bool EmptyOccurrence(const TSegmentValues::TOccurrence& occurrence) {
    return Used(occurrence, [](const std::string& s) { return s.empty(); }) == 0;
}

bool EmptyElement(const TSegmentValues::TElement& element) {
    return Used(element, EmptyOccurrence) == 0;
}

} // namespace

std::string TEdiWriter::SegmentText(const TSegmentValues& segment) const {
    const TDelimiters& d = delimiters_;
    std::string out = segment.Tag;
    const size_t elements = Used(segment.Elements, EmptyElement);
    for (size_t e = 0; e < elements; ++e) {
        out += d.ElementSeparator;
        const auto& occurrences = segment.Elements[e];
        const size_t nOcc = Used(occurrences, EmptyOccurrence);
        for (size_t o = 0; o < nOcc; ++o) {
            // Without a repetition separator occurrences follow as further data elements.
            if (o > 0) out += d.RepetitionSeparator ? d.RepetitionSeparator : d.ElementSeparator;
            const auto& components = occurrences[o];
            const size_t nComp = Used(components, [](const std::string& s) { return s.empty(); });
            for (size_t c = 0; c < nComp; ++c) {
                if (c > 0) out += d.ComponentSeparator;
                out += Escape(components[c]);
            }
        }
    }
    out += d.SegmentTerminator;
    return out;
}

std::string TEdiWriter::AdviceText() const {
    const TDelimiters& d = delimiters_;
    // The fifth position is the repetition separator in syntax version 4, reserved (a space) before.
    const char fifth = d.RepetitionSeparator ? d.RepetitionSeparator : d.ReservedChar;
    return std::string("UNA") + d.ComponentSeparator + d.ElementSeparator + d.DecimalMark + d.ReleaseChar +
           fifth + d.SegmentTerminator;
}

std::string TEdiWriter::Separator(TLayout layout) const {
    return layout == TLayout::OnePerLine ? lineEnd_ : std::string();
}

TReplacingFile::TReplacingFile(std::string target) : target_(std::move(target)) {
    temporary_ = target_ + ".XXXXXX";
    std::vector<char> name(temporary_.begin(), temporary_.end());
    name.push_back('\0');
    fd_ = mkstemp(name.data());
    if (fd_ < 0) throw EFCreateError("Cannot create file " + target_ + ": " + std::strerror(errno));
    temporary_ = name.data();
    // mkstemp makes the file private; give it the permissions a new file of the user's would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
}

TReplacingFile::~TReplacingFile() {
    if (fd_ >= 0) {
        close(fd_);
        unlink(temporary_.c_str());
    }
}

void TReplacingFile::Fail(const std::string& what) {
    const std::string reason = std::strerror(errno);
    close(fd_);
    unlink(temporary_.c_str());
    fd_ = -1;
    throw EFCreateError("Cannot " + what + " " + target_ + ": " + reason);
}

void TReplacingFile::Write(std::string_view bytes) {
    if (fd_ < 0) throw EFCreateError("Cannot write " + target_ + ": already closed");
    buffer_.append(bytes);
    if (buffer_.size() < (1 << 20)) return;
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write");
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
}

void TReplacingFile::Commit() {
    if (fd_ < 0) throw EFCreateError("Cannot write " + target_ + ": already closed");
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write");
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
    if (fsync(fd_) != 0) Fail("write");
    if (close(fd_) != 0) {
        fd_ = -1;
        unlink(temporary_.c_str());
        throw EFCreateError("Cannot write " + target_ + ": " + std::strerror(errno));
    }
    fd_ = -1;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        unlink(temporary_.c_str());
        throw EFCreateError("Cannot replace " + target_ + ": " + reason);
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace talmiro
