#include "BinaryReader.h"

#include <cstring>
#include <vector>

#include "Text.h"

namespace plist {
namespace {

// Layout of "bplist00": the 8-byte header, the objects, the offset table (one offset per object, each
// offsetSize bytes, big-endian), then a 32-byte trailer: 6 unused bytes, offsetSize, refSize, and three
// big-endian 64-bit numbers: object count, top object, offset of the offset table.
constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;

// Each value made costs its size in memory plus its payload; a file may cost at most this many times its own
// size (plus a floor), which legitimate sharing of strings stays well inside.
constexpr uint64_t kCostPerValue = 40;
constexpr uint64_t kBudgetFactor = 64;
constexpr uint64_t kBudgetFloor = uint64_t(64) << 20;

class Reader {
public:
    Reader(std::string_view b, EventSink& sink)
        : d_(reinterpret_cast<const uint8_t*>(b.data())), size_(b.size()),
          budget_(kBudgetFloor + kBudgetFactor * uint64_t(b.size())), sink_(sink) {}

    std::optional<Error> run() {
        if (size_ < kHeaderSize + 1 + kTrailerSize)
            return fail("the binary property list is too short to hold a trailer (" + std::to_string(size_) +
                            " bytes)",
                        0);
        if (std::memcmp(d_, "bplist00", 8) != 0) return fail("unsupported binary property-list version", 6);
        size_t t = size_ - kTrailerSize;
        offsetSize_ = d_[t + 6];
        refSize_ = d_[t + 7];
        numObjects_ = be(t + 8, 8);
        uint64_t top = be(t + 16, 8);
        tableOffset_ = be(t + 24, 8);
        end_ = t;
        if (offsetSize_ < 1 || offsetSize_ > 8)
            return fail("offset size " + std::to_string(offsetSize_) + " in the trailer is not 1 to 8",
                        t + 6);
        if (refSize_ < 1 || refSize_ > 8)
            return fail("object reference size " + std::to_string(refSize_) + " in the trailer is not 1 to 8",
                        t + 7);
        if (numObjects_ == 0) return fail("the trailer counts no objects", t + 8);
        if (top >= numObjects_)
            return fail("top object " + std::to_string(top) + " beyond " + std::to_string(numObjects_) +
                            " objects",
                        t + 16);
        if (tableOffset_ < kHeaderSize || tableOffset_ > end_ ||
            numObjects_ > (end_ - tableOffset_) / offsetSize_)
            return fail("offset table of " + std::to_string(numObjects_) + " entries at byte " +
                            std::to_string(tableOffset_) + " does not fit in the file",
                        t + 24);
        // Every object lies between the header and the offset table.
        end_ = size_t(tableOffset_);
        onStack_.assign(numObjects_, 0);
        return readTree(top, t);
    }

private:
    struct Head {
        uint8_t kind = 0; // high nibble of the marker
        uint8_t info = 0; // low nibble
        uint64_t count = 0;
        size_t pos = 0; // first byte after the marker and any count
        size_t at = 0;  // the marker's own offset
    };
    struct Frame {
        uint64_t object = 0;
        size_t refs = 0;
        uint64_t count = 0;
        uint64_t next = 0;
        bool dictionary = false;
    };

    Error fail(std::string message, uint64_t offset, Error::Kind kind = Error::Kind::Binary) {
        return makeError(kind, std::move(message) + " (byte " + std::to_string(offset) + ")",
                         int64_t(offset));
    }

    uint64_t be(size_t pos, unsigned width) const {
        uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v = (v << 8) | d_[pos + i];
        return v;
    }

    bool charge(uint64_t cost) {
        if (cost > budget_) return false;
        budget_ -= cost;
        return true;
    }

    std::optional<Error> head(uint64_t ref, Head& h) {
        if (ref >= numObjects_)
            return fail("object reference " + std::to_string(ref) + " beyond " + std::to_string(numObjects_) +
                            " objects",
                        lastRefPos_);
        size_t entry = size_t(tableOffset_ + ref * offsetSize_);
        uint64_t off = be(entry, offsetSize_);
        if (off < kHeaderSize || off >= tableOffset_)
            return fail("object " + std::to_string(ref) + " has offset " + std::to_string(off) +
                            " outside the object area",
                        entry);
        h.at = size_t(off);
        uint8_t marker = d_[off];
        h.kind = marker >> 4;
        h.info = marker & 0x0F;
        h.pos = size_t(off) + 1;
        h.count = h.info;
        bool counted = h.kind == 0x4 || h.kind == 0x5 || h.kind == 0x6 || h.kind == 0xA || h.kind == 0xB ||
                       h.kind == 0xC || h.kind == 0xD;
        if (counted && h.info == 0xF) {
            if (h.pos >= end_) return fail("object count runs into the offset table", h.pos);
            uint8_t m = d_[h.pos];
            if ((m >> 4) != 0x1 || (m & 0xF) > 3)
                return fail("object count is not an integer of 1, 2, 4 or 8 bytes", h.pos);
            unsigned w = 1u << (m & 0xF);
            if (end_ - h.pos - 1 < w) return fail("object count runs into the offset table", h.pos);
            h.count = be(h.pos + 1, w);
            h.pos += 1 + w;
        }
        return std::nullopt;
    }

    bool isContainer(const Head& h) const { return h.kind == 0xA || h.kind == 0xD; }

    std::optional<Error> sinkStopped(size_t at) { return fail("the value could not be written", at); }
    std::optional<Error> emitted(bool ok, size_t at) {
        if (ok) return std::nullopt;
        return sinkStopped(at);
    }

    // Reads a scalar object whose head is h and hands it to the sink.
    std::optional<Error> scalar(const Head& h) {
        size_t room = end_ - h.pos; // bytes from the payload to the offset table
        switch (h.kind) {
        case 0x0:
            if (h.info == 0x8 || h.info == 0x9) {
                if (!charge(kCostPerValue)) return tooLarge(h.at);
                return emitted(sink_.boolean(h.info == 0x9), h.at);
            }
            return fail("object marker 0x" + hex(d_[h.at]) + " (null or fill) is not a property-list value",
                        h.at);
        case 0x1: {
            if (h.info > 4) return fail("integer of 2^" + std::to_string(h.info) + " bytes", h.at);
            unsigned w = 1u << h.info;
            if (room < w) return fail("integer runs into the offset table", h.at);
            if (!charge(kCostPerValue)) return tooLarge(h.at);
            if (w < 8) return emitted(sink_.integer(Integer::fromUnsigned(be(h.pos, w))), h.at);
            if (w == 8) return emitted(sink_.integer(Integer::fromSigned(int64_t(be(h.pos, 8)))), h.at);
            // 16 bytes: a 128-bit two's-complement integer; only the 64-bit signed and unsigned ranges are
            // values.
            uint64_t hi = be(h.pos, 8), lo = be(h.pos + 8, 8);
            if (hi == 0) return emitted(sink_.integer(Integer::fromUnsigned(lo)), h.at);
            if (hi == ~uint64_t(0) && (lo >> 63))
                return emitted(sink_.integer(Integer::fromSigned(int64_t(lo))), h.at);
            return fail("128-bit integer outside -2^63 to 2^64-1", h.at);
        }
        case 0x2: {
            if (h.info != 2 && h.info != 3)
                return fail("real of 2^" + std::to_string(h.info) + " bytes", h.at);
            unsigned w = 1u << h.info;
            if (room < w) return fail("real runs into the offset table", h.at);
            if (!charge(kCostPerValue)) return tooLarge(h.at);
            return emitted(sink_.real(readDouble(h.pos, w)), h.at);
        }
        case 0x3:
            if (h.info != 3) return fail("date marker 0x" + hex(d_[h.at]) + " is not 0x33", h.at);
            if (room < 8) return fail("date runs into the offset table", h.at);
            if (!charge(kCostPerValue)) return tooLarge(h.at);
            return emitted(sink_.date(readDouble(h.pos, 8)), h.at);
        case 0x4: {
            if (h.count > room)
                return fail("data of " + std::to_string(h.count) + " bytes runs into the offset table", h.at);
            if (!charge(kCostPerValue + h.count)) return tooLarge(h.at);
            return emitted(sink_.data({reinterpret_cast<const char*>(d_ + h.pos), size_t(h.count)}), h.at);
        }
        case 0x5:
        case 0x6: {
            std::string s;
            if (auto e = string(h, s)) return e;
            return emitted(sink_.string(std::move(s)), h.at);
        }
        case 0x8: {
            unsigned w = h.info + 1u;
            if (w > 8) return fail("uid of " + std::to_string(w) + " bytes", h.at);
            if (room < w) return fail("uid runs into the offset table", h.at);
            if (!charge(kCostPerValue)) return tooLarge(h.at);
            return emitted(sink_.uid(be(h.pos, w)), h.at);
        }
        case 0xB:
        case 0xC:
            return fail("sets are not property-list values", h.at);
        default:
            return fail("unknown object marker 0x" + hex(d_[h.at]), h.at);
        }
    }

    std::optional<Error> string(const Head& h, std::string& out) {
        size_t room = end_ - h.pos;
        if (h.kind == 0x5) {
            if (h.count > room)
                return fail("string of " + std::to_string(h.count) + " bytes runs into the offset table",
                            h.at);
            if (!charge(kCostPerValue + h.count)) return tooLarge(h.at);
            std::string_view raw(reinterpret_cast<const char*>(d_ + h.pos), h.count);
            if (text::isAscii(raw) || text::isStrictUtf8(raw)) {
                // Some writers put UTF-8 in a string marked ASCII.
                out.assign(raw);
            } else {
                // Other bytes above 0x7F in an ASCII string: keep them as the Latin-1 characters they name.
                out.reserve(raw.size() * 2);
                for (char c : raw)
                    text::appendUtf8(out, static_cast<uint8_t>(c));
            }
            return std::nullopt;
        }
        if (h.kind == 0x6) {
            if (h.count > room / 2)
                return fail("string of " + std::to_string(h.count) +
                                " UTF-16 units runs into the offset table",
                            h.at);
            if (!charge(kCostPerValue + 3 * h.count)) return tooLarge(h.at);
            out.reserve(h.count);
            text::appendUtf16BE(out, d_ + h.pos, h.count);
            return std::nullopt;
        }
        return fail("dictionary key is not a string", h.at);
    }

    double readDouble(size_t pos, unsigned w) const {
        uint64_t bits = be(pos, w);
        if (w == 4) {
            float f;
            uint32_t b32 = uint32_t(bits);
            std::memcpy(&f, &b32, 4);
            return f;
        }
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }

    Error tooLarge(size_t at) {
        return fail("the binary property list expands to far more data than the file holds (shared objects)",
                    at);
    }

    static std::string hex(uint8_t b) {
        const char* digits = "0123456789ABCDEF";
        return {digits[b >> 4], digits[b & 15]};
    }

    // Begins a container whose head is h: checks its references fit and pushes a frame for it.
    std::optional<Error> push(uint64_t ref, const Head& h) {
        if (onStack_[ref]) return fail("object " + std::to_string(ref) + " contains itself", h.at);
        if (stack_.size() >= size_t(kMaxNestingDepth))
            return fail("nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels", h.at,
                        Error::Kind::TooDeep);
        uint64_t perEntry = h.kind == 0xD ? 2 * uint64_t(refSize_) : refSize_;
        if (h.count > (end_ - h.pos) / perEntry)
            return fail("container of " + std::to_string(h.count) + " entries runs into the offset table",
                        h.at);
        if (!charge(kCostPerValue + h.count * 8)) return tooLarge(h.at);
        bool dictionary = h.kind == 0xD;
        if (!(dictionary ? sink_.beginDictionary(h.count) : sink_.beginArray(h.count)))
            return sinkStopped(h.at);
        onStack_[ref] = 1;
        stack_.push_back(Frame{ref, h.pos, h.count, 0, dictionary});
        return std::nullopt;
    }

    uint64_t refAt(size_t pos) {
        lastRefPos_ = pos;
        return be(pos, refSize_);
    }

    std::optional<Error> readTree(uint64_t top, size_t trailer) {
        lastRefPos_ = trailer + 16;
        Head h;
        if (auto e = head(top, h)) return e;
        if (!isContainer(h)) return scalar(h);
        if (auto e = push(top, h)) return e;
        while (!stack_.empty()) {
            Frame& f = stack_.back();
            if (f.next == f.count) {
                onStack_[f.object] = 0;
                stack_.pop_back();
                if (!sink_.endContainer()) return sinkStopped(h.at);
                continue;
            }
            uint64_t i = f.next++;
            bool dict = f.dictionary;
            size_t refs = f.refs;
            uint64_t count = f.count;
            if (dict) {
                uint64_t keyRef = refAt(refs + i * refSize_);
                Head kh;
                if (auto e = head(keyRef, kh)) return e;
                std::string key;
                if (auto e = string(kh, key)) return e;
                if (!sink_.key(std::move(key))) return sinkStopped(kh.at);
            }
            uint64_t childRef = refAt(refs + (dict ? count + i : i) * refSize_);
            if (auto e = head(childRef, h)) return e;
            if (isContainer(h)) {
                if (auto e = push(childRef, h)) return e;
                continue;
            }
            if (auto e = scalar(h)) return e;
        }
        return std::nullopt;
    }

    const uint8_t* d_;
    size_t size_;
    size_t end_ = 0; // where the object area ends: first the trailer, then the offset table
    unsigned offsetSize_ = 0, refSize_ = 0;
    uint64_t numObjects_ = 0, tableOffset_ = 0;
    uint64_t budget_;
    size_t lastRefPos_ = 0;
    std::vector<uint8_t> onStack_;
    std::vector<Frame> stack_;
    EventSink& sink_;
};

} // namespace

std::optional<Error> readBinary(std::string_view bytes, EventSink& sink) {
    return Reader(bytes, sink).run();
}

Expected<Value> readBinary(std::string_view bytes) {
    ValueBuilder builder;
    if (auto e = readBinary(bytes, builder)) return std::move(*e);
    return builder.take();
}

} // namespace plist
