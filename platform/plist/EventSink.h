// A property list as a stream of events in document order: what readers produce and writers consume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Value.h"

namespace plist {

// Containers open with begin..., hold their entries, and close with endContainer(). In a dictionary each
// value is preceded by its key(). Readers check the structure; a sink may assume it. A sink returns false to
// stop the stream (it then knows why); the producer stops at once.
class EventSink {
public:
    virtual ~EventSink() = default;
    // count: the number of entries when the producer knows it, else 0.
    virtual bool beginArray(size_t count) = 0;
    virtual bool beginDictionary(size_t count) = 0;
    virtual bool endContainer() = 0;
    virtual bool key(std::string_view key) = 0;
    virtual bool string(std::string_view s) = 0;
    // A key or string the producer no longer needs: a sink that keeps text takes it over instead of copying.
    virtual bool key(std::string&& k) { return key(std::string_view(k)); }
    virtual bool string(std::string&& s) { return string(std::string_view(s)); }
    virtual bool integer(Integer i) = 0;
    virtual bool real(double d) = 0;
    virtual bool boolean(bool b) = 0;
    virtual bool date(double secondsSince2001) = 0;
    virtual bool data(std::string_view bytes) = 0;
    virtual bool uid(uint64_t u) = 0;
};

// Emits a value tree to a sink; false when the sink stopped.
bool emitValue(const Value& v, EventSink& sink);

// Builds a value tree from events.
class ValueBuilder final : public EventSink {
public:
    bool beginArray(size_t count) override;
    bool beginDictionary(size_t count) override;
    bool endContainer() override;
    bool key(std::string_view key) override;
    bool string(std::string_view s) override { return add(Value(std::string(s))); }
    bool key(std::string&& key) override;
    bool string(std::string&& s) override { return add(Value(std::move(s))); }
    bool integer(Integer i) override { return add(Value(i)); }
    bool real(double d) override { return add(Value(d)); }
    bool boolean(bool b) override { return add(Value(b)); }
    bool date(double s) override { return add(Value(Date{s})); }
    bool data(std::string_view bytes) override {
        return add(Value(Data(reinterpret_cast<const uint8_t*>(bytes.data()),
                              reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size())));
    }
    bool uid(uint64_t u) override { return add(Value(Uid{u})); }

    // The finished value; valid once the top value has ended.
    Value take() { return std::move(root_); }
    bool done() const { return done_; }

private:
    // Entries of open containers wait on two shared stacks and move into a vector of the exact size when
    // their container ends: one allocation a container, none wasted on growth.
    struct Frame {
        bool dictionary;
        size_t start; // first of its entries on the stack of its kind
        std::string key;
    };
    bool add(Value v);

    std::vector<Frame> stack_;
    std::vector<Value> elements_;
    std::vector<std::pair<std::string, Value>> entries_;
    Value root_;
    bool done_ = false;
};

} // namespace plist
