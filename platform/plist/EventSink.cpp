#include "EventSink.h"

#include <cstddef>
#include <iterator>

namespace plist {

bool emitValue(const Value& v, EventSink& sink) {
    switch (v.type()) {
    case Value::Type::String:
        return sink.string(v.string());
    case Value::Type::Integer:
        return sink.integer(v.integer());
    case Value::Type::Real:
        return sink.real(v.real());
    case Value::Type::Boolean:
        return sink.boolean(v.boolean());
    case Value::Type::Date:
        return sink.date(v.date().seconds);
    case Value::Type::Data:
        return sink.data({reinterpret_cast<const char*>(v.data().data()), v.data().size()});
    case Value::Type::Uid:
        return sink.uid(v.uid().value);
    case Value::Type::Array:
        if (!sink.beginArray(v.array().size())) return false;
        for (const Value& c : v.array())
            if (!emitValue(c, sink)) return false;
        return sink.endContainer();
    case Value::Type::Dictionary:
        if (!sink.beginDictionary(v.dictionary().size())) return false;
        for (const auto& [k, c] : v.dictionary())
            if (!sink.key(k) || !emitValue(c, sink)) return false;
        return sink.endContainer();
    }
    return true;
}

bool ValueBuilder::beginArray(size_t) {
    stack_.push_back(Frame{false, elements_.size(), {}});
    return true;
}

bool ValueBuilder::beginDictionary(size_t) {
    stack_.push_back(Frame{true, entries_.size(), {}});
    return true;
}

bool ValueBuilder::endContainer() {
    Frame f = std::move(stack_.back());
    stack_.pop_back();
    if (f.dictionary) {
        auto first = entries_.begin() + std::ptrdiff_t(f.start);
        Value::Dictionary d(std::make_move_iterator(first), std::make_move_iterator(entries_.end()));
        entries_.erase(first, entries_.end());
        return add(Value(std::move(d)));
    }
    auto first = elements_.begin() + std::ptrdiff_t(f.start);
    Value::Array a(std::make_move_iterator(first), std::make_move_iterator(elements_.end()));
    elements_.erase(first, elements_.end());
    return add(Value(std::move(a)));
}

bool ValueBuilder::key(std::string_view key) {
    stack_.back().key.assign(key);
    return true;
}

bool ValueBuilder::key(std::string&& k) {
    stack_.back().key = std::move(k);
    return true;
}

bool ValueBuilder::add(Value v) {
    if (stack_.empty()) {
        root_ = std::move(v);
        done_ = true;
        return true;
    }
    Frame& f = stack_.back();
    if (f.dictionary)
        entries_.emplace_back(std::move(f.key), std::move(v));
    else
        elements_.push_back(std::move(v));
    return true;
}

} // namespace plist
