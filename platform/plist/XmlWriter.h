// Writes property lists as XML text in the published layout.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Error.h"
#include "EventSink.h"
#include "Value.h"

namespace plist {

struct XmlWriteOptions {
    // Write values that XML cannot hold in our own exact forms (control characters and lone surrogates
    // as numeric references, dates with their fraction or outside years 1 to 9999) instead of failing.
    // Text written this way is read back only by parseElement with exact set, never by an XML parser.
    bool exact = false;
    // Bytes to reserve for the text, when the caller can estimate its size.
    size_t sizeHint = 0;
    // Lead each line with a tab per level. Text only read back line by line, which trims lines, is
    // smaller and quicker without.
    bool indent = true;
};

// The head every document starts with: XML declaration, DOCTYPE and the plist line, each ended by a line
// feed.
inline constexpr std::string_view kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                             "<plist version=\"1.0\">\n";
inline constexpr std::string_view kXmlTail = "\n</plist>\n";

// Writes the events of one top-level value as a whole XML document: one element or tag per line, one tab of
// indent per level, data as Base64 lines between a "<data>" line and a "</data>" line, whole-second UTC
// dates,
// "<array/>" and "<dict/>" for empty containers, a uid as a dictionary of the single key "CF$UID". A value
// XML cannot hold stops it with Unrepresentable (unless options.exact); nesting past kMaxNestingDepth with
// TooDeep.
class XmlTextSink final : public EventSink {
public:
    explicit XmlTextSink(XmlWriteOptions options = {});
    using EventSink::key;
    using EventSink::string;

    bool beginArray(size_t) override { return begin(false); }
    bool beginDictionary(size_t) override { return begin(true); }
    bool endContainer() override;
    bool key(std::string_view key) override;
    bool string(std::string_view s) override;
    bool integer(Integer i) override;
    bool real(double d) override;
    bool boolean(bool b) override;
    bool date(double secondsSince2001) override;
    bool data(std::string_view bytes) override;
    bool uid(uint64_t u) override;

    // The document text once the top value has ended, or the reason the stream stopped.
    Expected<std::string> finish();
    // Why the sink itself stopped the stream (a value XML cannot hold, nesting too deep), if it did.
    const std::optional<Error>& error() const { return error_; }

private:
    struct Open {
        bool dictionary;
        bool written; // the opening tag is out (the container has an entry)
    };
    bool begin(bool dictionary);
    void beforeValue();
    void afterValue();
    void indent(size_t levels) {
        if (options_.indent) out_.append(levels, '\t');
    }
    bool fail(Error::Kind kind, std::string message);

    XmlWriteOptions options_;
    std::string out_;
    std::vector<Open> open_;
    std::optional<Error> error_;
    bool done_ = false;
};

// The whole document text of a value.
Expected<std::string> writeXml(const Value& value, XmlWriteOptions options = {});

} // namespace plist
