// The document model of one window: its entry tree, serial counter, storage format and location, with the
// line-oriented reader and the writer that turn XML property-list text into entries and back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Entry.h"
#include "LoadProgress.h"
#include "platform/plist/Error.h"
#include "platform/plist/Value.h"

namespace model {

// How the writer treats values that XML property-list text cannot hold (control characters other than tab,
// line feed and carriage return, lone surrogates, U+FFFE and U+FFFF, dates outside years 1 to 9999).
enum class WriteMode {
    Strict,    // saving as XML: such a value fails the write, with the key path of the entry that holds it
    Exact,     // our own text between our own readers: such values are kept in forms only our reader reads
    Sanitized, // text for other programs: such characters become U+FFFD, dates are clamped into years 1 to
               // 9999
};

// What a window applies to its outline after a successful load.
struct OutlineSettings {
    bool selectionHighlight = false;
    bool outlineColumnAutoresizes = false;
    bool typeColumnResizable = false;
    bool registerForDrags = true;
    bool expandRoot = true;
};

struct LoadOutcome {
    bool ok = false;
    // Why a load failed, in the services' words (what and where), for a second line after the user's message.
    std::string reason;
    OutlineSettings outline;
};

// The message a user is shown for any file that cannot be opened.
inline constexpr std::string_view kLoadFailureMessage =
    "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

// The message for a document saved as XML that holds a value XML cannot store; %@ is the key path.
inline constexpr std::string_view kUnrepresentableMessage =
    "This document holds a value that an XML property list cannot store (in \u201c%@\u201d). Save it in the "
    "Binary format instead.";

class PlistDocument {
public:
    // A new, untitled document has no location.
    explicit PlistDocument(std::string url = {}) : _url(std::move(url)) {}

    // Loads the file at _url, or makes the empty document without one. Run once, on a fresh document. A file
    // larger than the memory available, or one whose entries run out of memory, fails with the reason
    // plist::kNotEnoughMemory. The writers below fail likewise with an error of kind NoMemory. With progress,
    // the load reports how far it has come and stops, failing with kLoadCancelled, once it is cancelled.
    LoadOutcome openPlistFile(LoadProgress* progress = nullptr);

    // The root entry, or none before a successful load.
    EntryRef root() const { return _entryArray.empty() ? EntryRef() : _entryArray.front(); }

    // The whole document's XML text, as saved (Strict: fails on a value XML cannot hold).
    plist::Expected<std::string> plistString() const {
        return plistStringWithItem(root(), WriteMode::Strict);
    }
    // The document text with this entry as the top element.
    plist::Expected<std::string> plistStringWithItem(const EntryRef& item, WriteMode mode) const;
    // The element text of a container with these children; its children at level+1.
    plist::Expected<std::string> noHeaderPlistStringWithChild(const Children& child, unsigned level,
                                                              int classTypeNumber, WriteMode mode) const;
    // The one-line element text of a scalar entry.
    plist::Expected<std::string> noHeaderPlistStringWithAloneItem(const Entry& item, WriteMode mode) const;

    // The binary property-list bytes of the document, built from the entry tree itself, every value exact.
    plist::Expected<std::string> binaryData() const;
    // The services' value of an entry and everything below it.
    static plist::Value propertyListValue(const Entry& e);

    // Reads XML property-list text into a new tree numbered from _idNumber; none when the text has no line
    // <plist version="1.0"> standing alone or does not follow the one-element-per-line layout. The counter
    // moves only when a tree is returned.
    EntryRef makeRootEntryWithXML(std::string_view text, LoadProgress* progress = nullptr);
    // Reads binary property-list bytes ("bplist00") straight into a new tree numbered from _idNumber: the
    // tree makeRootEntryWithXML gives for the services' exact text of the same bytes. The counter moves only
    // when a tree is returned.
    plist::Expected<EntryRef> rootEntryWithBinaryData(std::string_view bytes,
                                                      LoadProgress* progress = nullptr);
    // Reads property-list text from outside (paste, drop): only a whole XML property-list document with its
    // plist element is one; it reaches the line reader only as the services' own text. An error otherwise,
    // of kind NoMemory when the entries did not fit in memory.
    plist::Expected<EntryRef> rootEntryWithPropertyListText(std::string_view text);
    // Reads bytes of any property-list format the services parse (our own pasteboard type carries binary).
    plist::Expected<EntryRef> rootEntryWithPropertyListData(std::string_view bytes);

    // The entry key path shown in messages: "Root", then keys and "Item N" down to the entry.
    static std::string keyPath(const Entry& e);

    // Makes a new String entry with a fresh number.
    EntryRef makeStringItemWithString(std::string text);

    std::vector<EntryRef> _entryArray;
    int64_t _idNumber = 0;
    int _formatKind = 0; // 0 XML, 1 binary
    std::string _url;
    std::string _myUTI = "com.brisolde.vantrel";

private:
    size_t _textSizeHint = 0; // length of the text the document was loaded from
};

} // namespace model
