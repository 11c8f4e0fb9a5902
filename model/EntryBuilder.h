// Builds an entry tree straight from a property-list reader's events (the binary load), giving exactly the
// tree that the line reader makes of the services' exact XML text for the same events.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Entry.h"
#include "LoadProgress.h"
#include "platform/plist/Error.h"
#include "platform/plist/EventSink.h"

namespace model {

// Entries are numbered from the counter after their children (a container after everything below it, the
// root last), array elements have the key "", a uid becomes the dictionary {"CF$UID": n}, and nesting past
// plist::kMaxNestingDepth stops the stream, as the text path has it.
class EntryBuilder final : public plist::EventSink {
public:
    explicit EntryBuilder(int64_t& idNumber) : idNumber_(idNumber), saved_(idNumber) {}
    // Reports the entries built to progress (of about `expected` in all) and stops when it is cancelled.
    void reportTo(LoadProgress* progress, uint64_t expected) {
        progress_ = progress;
        expected_ = expected;
    }

    bool beginArray(size_t count) override { return begin(false, count); }
    bool beginDictionary(size_t count) override { return begin(true, count); }
    bool endContainer() override;
    using EventSink::key;
    using EventSink::string;
    bool key(std::string_view key) override;
    bool string(std::string_view s) override;
    bool integer(plist::Integer i) override { return add(EntryType::Number, Number::fromInteger(i)); }
    bool real(double d) override;
    bool boolean(bool b) override { return add(EntryType::Boolean, b); }
    bool date(double secondsSince2001) override;
    bool data(std::string_view bytes) override;
    bool uid(uint64_t u) override;

    // The root once the top value has ended, or the reason the stream stopped (own reasons first). On
    // failure the counter is set back to where it stood.
    plist::Expected<EntryRef> finish(std::optional<plist::Error> readerError);

private:
    struct Frame {
        bool dictionary;
        std::string key; // the container's own key in its parent
        Children children;
        std::string pendingKey;
    };
    bool begin(bool dictionary, size_t count);
    bool add(EntryType type, Entry::Value value);
    bool place(EntryRef e);
    std::string nextKey();

    int64_t& idNumber_;
    int64_t saved_;
    std::vector<Frame> stack_;
    EntryRef root_;
    std::optional<plist::Error> error_;
    LoadProgress* progress_ = nullptr;
    uint64_t expected_ = 0;
    uint64_t built_ = 0;
};

} // namespace model
