#include "BenchDocument.h"

#include <array>
#include <string>

namespace bench {
namespace {

using plist::Value;

// splitmix64: the same numbers on every platform and standard library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % uint64_t(n)); }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }

private:
    uint64_t state_;
};

constexpr std::array<const char*, 10> kWords = {"alpha",      "beta",    "gamma", "delta", "\xC3\x89psilon",
                                                "zeta & eta", "<theta>", "iota",  "kappa", "lambda"};

std::string words(Random& r, int min, int max) {
    std::string s;
    for (int n = min + r.below(max - min + 1); n > 0; --n) {
        if (!s.empty()) s += ' ';
        s += kWords[size_t(r.below(int(kWords.size())))];
    }
    return s;
}

Value record(Random& r, int i) {
    std::string id = std::to_string(i);
    Value::Array tags;
    for (int n = r.below(6); n > 0; --n)
        tags.emplace_back(words(r, 1, 1));
    plist::Data blob(size_t(r.below(25)));
    for (auto& b : blob)
        b = uint8_t(r.next());
    Value::Dictionary point{{"x", Value(double(i) + 0.5)}, {"y", Value(-double(r.below(4000)) / 8)}};
    Value::Array deeper{Value::integer(i), Value(id), Value(std::move(point))};
    Value::Dictionary level{{"deeper", Value(std::move(deeper))}, {"flag", Value(r.below(2) == 0)}};
    Value::Dictionary nested{{"level", Value(std::move(level))}, {"note", Value(words(r, 0, 3))}};
    Value::Dictionary d{
        {"id", Value("item" + id)},
        {"name", Value(words(r, 1, 3))},
        {"count", Value::integer(int64_t(r.next() % (uint64_t(1) << 41)) - (int64_t(1) << 40))},
        {"ratio", Value(r.unit() * 1000)},
        {"enabled", Value(r.below(2) == 0)},
        {"created", Value(plist::Date{double(r.below(800000000))})},
        {"blob", Value(std::move(blob))},
        {"tags", Value(std::move(tags))},
        {"nested", Value(std::move(nested))},
        {"size", Value::integer(r.below(1 << 20))},
        {"flags", Value(Value::Array{Value(r.below(2) == 0), Value(r.below(3) == 0),
                                     Value::integer(r.below(16)), Value::integer(r.below(4))})},
    };
    return Value(std::move(d));
}

} // namespace

Value makeDocument(int records) {
    Random r(753);
    Value::Array items;
    items.reserve(size_t(records));
    for (int i = 0; i < records; ++i)
        items.push_back(record(r, i));
    Value::Dictionary top{
        {"version", Value::integer(3)},
        {"items", Value(std::move(items))},
        {"empty", Value(Value::Dictionary())},
        {"none", Value(Value::Array())},
    };
    return Value(std::move(top));
}

size_t countValues(const Value& v) {
    size_t n = 1;
    if (v.type() == Value::Type::Array)
        for (const Value& x : v.array())
            n += countValues(x);
    else if (v.type() == Value::Type::Dictionary)
        for (const auto& [key, x] : v.dictionary())
            n += countValues(x);
    return n;
}

} // namespace bench
