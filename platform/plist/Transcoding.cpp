#include "Transcoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace plist {
namespace {

// The output is filled this many bytes at a time; each step ends on a character boundary and leaves a mark.
constexpr size_t kStep = size_t(256) << 10;

class Converter {
public:
    explicit Converter(const std::string& encoding) : cd_(iconv_open("UTF-8", encoding.c_str())) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // iconv(3): advances in and out past what was converted; false with errno set when it stopped early.
    bool convert(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        char* p = const_cast<char*>(in);
        size_t r = iconv(cd_, &p, &inLeft, &out, &outLeft);
        in = p;
        return r != size_t(-1);
    }

private:
    iconv_t cd_;
};

} // namespace

Transcoding::Transcoding(std::string_view source, std::string encoding)
    : source_(source), encoding_(std::move(encoding)) {
    Converter c(encoding_);
    if (!c.ok()) {
        fault_ = Fault::UnknownEncoding;
        return;
    }
    const char* in = source.data();
    size_t inLeft = source.size(), outLen = 0;
    marks_.emplace_back(0, 0);
    // Text in a single-byte encoding is mostly ASCII and grows little; other text grows as it needs.
    utf8_.resize(source.size() + source.size() / 8 + kStep);
    while (inLeft > 0) {
        if (utf8_.size() - outLen < kStep) utf8_.resize(utf8_.size() + utf8_.size() / 2 + kStep);
        char* out = utf8_.data() + outLen;
        size_t outLeft = kStep;
        bool done = c.convert(in, inLeft, out, outLeft);
        int error = errno;
        outLen = size_t(out - utf8_.data());
        if (done) break;
        if (error == E2BIG) {
            marks_.emplace_back(outLen, size_t(in - source.data()));
            continue;
        }
        fault_ = error == EINVAL ? Fault::Truncated : Fault::BadSequence;
        faultOffset_ = size_t(in - source.data());
        break;
    }
    utf8_.resize(outLen);
}

size_t Transcoding::sourceOffset(size_t utf8Offset) const {
    auto mark = std::upper_bound(marks_.begin(), marks_.end(), std::pair(utf8Offset, ~size_t(0)));
    if (mark == marks_.begin()) return 0;
    auto [out, at] = *std::prev(mark);
    Converter c(encoding_);
    if (!c.ok()) return at;
    // One character at a time from the mark: the shortest input that converts is the next character.
    while (out < utf8Offset && at < source_.size()) {
        size_t length = 1;
        for (;; ++length) {
            const char* in = source_.data() + at;
            size_t inLeft = std::min(length, source_.size() - at);
            char buffer[64];
            char* o = buffer;
            size_t outLeft = sizeof buffer;
            if (c.convert(in, inLeft, o, outLeft)) {
                size_t produced = size_t(o - buffer);
                if (out + produced > utf8Offset) return at;
                out += produced;
                at = size_t(in - source_.data());
                break;
            }
            if (errno != EINVAL || length >= 16 || at + length >= source_.size()) return at;
        }
    }
    return at;
}

} // namespace plist
