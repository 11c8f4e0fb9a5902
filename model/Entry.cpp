#include "Entry.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace model {
namespace {

constexpr std::array<std::string_view, 8> kTypeNames = {"Array", "Dictionary", "Boolean", "Data",
                                                        "Date",  "Number",     "String",  "n/a"};

constexpr size_t kBlock = (sizeof(Entry) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);

void* nextOf(void* p) {
    return *static_cast<void**>(p);
}
void setNext(void* p, void* next) {
    *static_cast<void**>(p) = next;
}

// Blocks of one size carved from large slabs, shared by every thread: entries are built on loading threads
// and released on the main thread, and the other way round. Each thread keeps blocks of its own (below)
// and comes here, under the lock, only for a run of blocks at a time.
class SharedPool {
public:
    // Blocks for a thread: a list of freed ones given back together, or a run of fresh ones
    // [runBegin, runEnd) of up to n blocks.
    void take(size_t n, void*& list, size_t& listCount, char*& runBegin, char*& runEnd) {
        std::lock_guard lock(mutex_);
        if (!freed_.empty()) {
            list = freed_.back().first;
            listCount = freed_.back().count;
            freed_.pop_back();
            return;
        }
        if (next_ == end_) newSlab();
        runBegin = next_;
        next_ += std::min<size_t>(n, size_t(end_ - next_) / kBlock) * kBlock;
        runEnd = next_;
    }
    // A list of count freed blocks, from first on.
    void give(void* first, size_t count) {
        std::lock_guard lock(mutex_);
        freed_.push_back({first, count});
    }

private:
    void newSlab() {
        // Slabs of 2 MiB, mapped at once and marked for huge pages where the system offers them: a large
        // document then costs a few page faults instead of one per 4 KiB.
        constexpr size_t kSlab = size_t(2) << 20;
        // Map twice the size and keep the aligned middle, since huge pages need 2 MiB alignment.
        void* map = ::mmap(nullptr, 2 * kSlab, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) throw std::bad_alloc();
        auto base = reinterpret_cast<uintptr_t>(map);
        uintptr_t aligned = (base + kSlab - 1) & ~(uintptr_t(kSlab) - 1);
        if (aligned > base) ::munmap(map, aligned - base);
        if (aligned + kSlab < base + 2 * kSlab)
            ::munmap(reinterpret_cast<void*>(aligned + kSlab), base + 2 * kSlab - aligned - kSlab);
        void* slab = reinterpret_cast<void*>(aligned);
        ::madvise(slab, kSlab, MADV_HUGEPAGE);
        next_ = static_cast<char*>(slab);
        end_ = next_ + kSlab / kBlock * kBlock;
    }

    struct Freed {
        void* first;
        size_t count;
    };
    std::mutex mutex_;
    std::vector<Freed> freed_;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

SharedPool& shared() {
    static SharedPool* p = new SharedPool; // never destroyed: entries may outlive static destruction order
    return *p;
}

// One thread's blocks: freed ones on a list, and a run of fresh ones. A thread that ends hands both back.
class ThreadPool {
public:
    ~ThreadPool() {
        while (next_ != end_)
            release(std::exchange(next_, next_ + kBlock));
        if (free_) shared().give(free_, count_);
        free_ = nullptr;
        count_ = 0;
        alive_ = false;
    }

    void* allocate() {
        if (!alive_) return takeOne();
        if (!free_ && next_ == end_) shared().take(kRun, free_, count_, next_, end_);
        if (free_) {
            void* p = free_;
            free_ = nextOf(p);
            --count_;
            return p;
        }
        return std::exchange(next_, next_ + kBlock);
    }
    void release(void* p) {
        if (!alive_) {
            setNext(p, nullptr);
            return shared().give(p, 1);
        }
        setNext(p, free_);
        free_ = p;
        // A thread that frees far more than it makes (the main thread closing a document loaded
        // elsewhere) passes blocks on for other threads.
        if (++count_ >= 2 * kKeep) {
            void* last = free_;
            for (size_t k = 1; k < kKeep; ++k)
                last = nextOf(last);
            void* kept = nextOf(last);
            setNext(last, nullptr);
            shared().give(free_, kKeep);
            free_ = kept;
            count_ -= kKeep;
        }
    }

private:
    static constexpr size_t kRun = 1024;
    static constexpr size_t kKeep = 8192;

    static void* takeOne() {
        void* list = nullptr;
        size_t count = 0;
        char *begin = nullptr, *end = nullptr;
        shared().take(1, list, count, begin, end);
        if (!list) return begin;
        if (void* rest = nextOf(list)) shared().give(rest, count - 1);
        return list;
    }
    void* free_ = nullptr;
    size_t count_ = 0;
    char* next_ = nullptr;
    char* end_ = nullptr;
    bool alive_ = true; // false once the thread's pool is gone, while the thread still ends
};

thread_local ThreadPool tPool;

} // namespace

// Entry is final, so every block asked for is one entry.
void* Entry::operator new(size_t) {
    return tPool.allocate();
}

void Entry::operator delete(void* p) noexcept {
    if (p) tPool.release(p);
}

std::string_view typeName(EntryType t) {
    return kTypeNames[size_t(t)];
}

std::optional<EntryType> typeNamed(std::string_view name) {
    for (size_t i = 0; i < kTypeNames.size(); ++i)
        if (kTypeNames[i] == name) return EntryType(i);
    return std::nullopt;
}

bool Number::sameNumber(const Number& o) const {
    if (!isReal && !o.isReal) return integer == o.integer;
    if (isReal && o.isReal) return real == o.real || (real != real && o.real != o.real);
    // An integer and a real: equal when the real is integral and the integer reads as exactly that real.
    const Number& i = isReal ? o : *this;
    double r = isReal ? real : o.real;
    if (r != r || r != static_cast<double>(static_cast<long double>(r))) return false;
    if (i.integer.isNegative())
        return r < 0 && r >= -9223372036854775808.0 && static_cast<int64_t>(r) == i.integer.asSigned();
    return r >= 0 && r < 18446744073709551616.0 && static_cast<uint64_t>(r) == i.integer.asUnsigned() &&
           static_cast<double>(i.integer.asUnsigned()) == r;
}

EntryRef Entry::make(std::string_view key, EntryType type, Value value, int64_t idNumber) {
    EntryRef e(new Entry(key, type, idNumber));
    e->setValue(std::move(value));
    return e;
}

EntryRef Entry::makeContainer(std::string_view key, EntryType type, int64_t idNumber) {
    EntryRef e(new Entry(key, type, idNumber));
    e->setChildren({});
    return e;
}

EntryRef Entry::makeString(std::string_view key, std::string_view text) {
    EntryRef e(new Entry(key, EntryType::String, kNoIdNumber));
    e->setText(text);
    return e;
}

EntryRef Entry::makeContainer(std::string_view key, EntryType type, Children children) {
    EntryRef e(new Entry(key, type, kNoIdNumber));
    e->setChildren(std::move(children));
    return e;
}

Entry::~Entry() {
    if (key.isBorrowed()) key.setEmpty(); // its bytes go with the value's block
    releasePayload();
    std::launder(reinterpret_cast<CompactText*>(payload_))->~CompactText();
}

// Leaves an empty text in the payload. A key kept in the value's block gets a copy of its own first.
void Entry::releasePayload() {
    if (key.isBorrowed()) key = key.view();
    if (stored_ == Stored::Children) {
        Children* c = children_();
        for (auto& e : *c)
            if (e->parent_ == this) e->parent_ = nullptr;
        delete c;
        new (payload_) CompactText();
    } else if (stored_ == Stored::Text || stored_ == Stored::Bytes) {
        *std::launder(reinterpret_cast<CompactText*>(payload_)) = std::string_view();
    } else {
        new (payload_) CompactText();
    }
    stored_ = Stored::Text;
}

Entry::Value Entry::value() const {
    switch (stored_) {
    case Stored::Text:
        return std::string(stringValue());
    case Stored::Bytes:
        return Data(dataValue());
    case Stored::Boolean:
        return boolValue();
    case Stored::Integer:
    case Stored::NegativeInteger:
    case Stored::Real:
        return numberValue();
    case Stored::Date:
        return dateValue();
    case Stored::Children:
        return child();
    }
    return std::string();
}

Number Entry::numberValue() const {
    if (stored_ == Stored::Real) return Number::fromReal(std::bit_cast<double>(bits(Stored::Real)));
    if (stored_ == Stored::NegativeInteger)
        return Number::fromInteger(plist::Integer::fromSigned(int64_t(bits(Stored::NegativeInteger))));
    return Number::fromInteger(plist::Integer::fromUnsigned(bits(Stored::Integer)));
}

void Entry::setValue(Value v) {
    // The payload is released first: the new value may be one of the children being let go.
    Value keep = std::move(v);
    releasePayload();
    auto setBits = [&](Stored s, uint64_t b) {
        std::launder(reinterpret_cast<CompactText*>(payload_))->~CompactText();
        std::memcpy(payload_, &b, sizeof b);
        stored_ = s;
    };
    auto* text = std::launder(reinterpret_cast<CompactText*>(payload_));
    if (auto* s = std::get_if<std::string>(&keep)) {
        setText(*s);
    } else if (auto* b = std::get_if<bool>(&keep)) {
        setBits(Stored::Boolean, *b ? 1 : 0);
    } else if (auto* n = std::get_if<Number>(&keep)) {
        if (n->isReal)
            setBits(Stored::Real, std::bit_cast<uint64_t>(n->real));
        else
            setBits(n->integer.isNegative() ? Stored::NegativeInteger : Stored::Integer, n->integer.bits());
    } else if (auto* d = std::get_if<plist::Date>(&keep)) {
        setBits(Stored::Date, std::bit_cast<uint64_t>(d->seconds));
    } else if (auto* data = std::get_if<Data>(&keep)) {
        setText(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
        stored_ = Stored::Bytes;
    } else {
        auto* c = new Children(std::move(std::get<Children>(keep)));
        text->~CompactText();
        std::memcpy(payload_, &c, sizeof c);
        stored_ = Stored::Children;
        for (size_t i = 0; i < c->size(); ++i) {
            (*c)[i]->parent_ = this;
            (*c)[i]->index_ = uint32_t(i);
        }
    }
}

// A key and a value both too long to stay in place share one block: the value's, with the key after it.
void Entry::setText(std::string_view s) {
    auto* text = std::launder(reinterpret_cast<CompactText*>(payload_));
    if (s.size() < 16 || !key.ownsBlock()) {
        *text = s;
        return;
    }
    std::string_view k = key.view();
    char* block = new char[s.size() + k.size()];
    std::memcpy(block, s.data(), s.size());
    std::memcpy(block + s.size(), k.data(), k.size());
    text->adopt(block, s.size());
    key.borrow(block + s.size(), k.size());
}

void Entry::setChildren(Children c) {
    setValue(Value(std::move(c)));
}

void Entry::renumberFrom(size_t index) {
    auto& c = *children_();
    for (size_t i = index; i < c.size(); ++i)
        c[i]->index_ = uint32_t(i);
}

void Entry::insertChild(size_t index, EntryRef e) {
    auto& c = *children_();
    index = std::min(index, c.size());
    e->parent_ = this;
    c.insert(c.begin() + std::ptrdiff_t(index), std::move(e));
    renumberFrom(index);
}

EntryRef Entry::removeChild(size_t index) {
    auto& c = *children_();
    EntryRef e = std::move(c[index]);
    c.erase(c.begin() + std::ptrdiff_t(index));
    if (e->parent_ == this) e->parent_ = nullptr;
    renumberFrom(index);
    return e;
}

void Entry::moveChild(size_t from, size_t to) {
    auto& c = *children_();
    if (from == to) return;
    EntryRef e = std::move(c[from]);
    c.erase(c.begin() + std::ptrdiff_t(from));
    c.insert(c.begin() + std::ptrdiff_t(to), std::move(e));
    renumberFrom(std::min(from, to));
}

std::string keyLabel(const Entry& e, std::string_view rootWord, std::string_view itemWord) {
    const Entry* parent = e.parent();
    if (!parent) return std::string(rootWord);
    if (parent->type() == EntryType::Dictionary) return e.key;
    std::string label(itemWord);
    if (size_t at = label.find("%1"); at != std::string::npos)
        label.replace(at, 2, std::to_string(e.indexInParent()));
    return label;
}

std::string keyPath(const Entry& e) {
    std::vector<const Entry*> chain;
    for (const Entry* p = &e; p; p = p->parent())
        chain.push_back(p);
    std::string path;
    for (size_t i = chain.size(); i-- > 0;) {
        if (i + 1 < chain.size()) path += " \u203a ";
        path += keyLabel(*chain[i]);
    }
    return path;
}

} // namespace model
