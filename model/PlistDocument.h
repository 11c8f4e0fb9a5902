// The document model of one window: its entry tree, serial counter, storage format and location, with the
// line-oriented reader and the writer that turn XML property-list text into entries and back.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Entry.h"
#include "LoadProgress.h"
#include "PlistReader.h"
#include "PlistWriter.h"
#include "platform/plist/Error.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/Value.h"

namespace model {

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

class PlistDocument {
public:
    // A new, untitled document has no location.
    explicit PlistDocument(std::string url = {}) : _url(std::move(url)) {}

    // Loads the file at _url, or makes the empty document without one. Run once, on a fresh document. A file
    // larger than the memory available, or one whose entries run out of memory, fails with the reason
    // plist::kNotEnoughMemory. The writers below fail likewise with an error of kind NoMemory. With progress,
    // the load reports how far it has come and stops, failing with kLoadCancelled, once it is cancelled.
    LoadOutcome openPlistFile(LoadProgress* progress = nullptr);
    // Loads the bytes of a file read elsewhere (standard input) as openPlistFile loads the file's.
    LoadOutcome openPlistData(std::string bytes, LoadProgress* progress = nullptr);

    // The root entry, or none before a successful load.
    EntryRef root() const { return _entryArray.empty() ? EntryRef() : _entryArray.front(); }
    // Makes this entry the document's root (none: no root, as before a load).
    void setRoot(EntryRef root);
    // Forgets the tree and starts numbering entries from 0 again, as before a load.
    void reset();

    // The counter that numbers new entries: every entry made takes its value, and it then grows by one.
    int64_t idNumber() const { return _idNumber; }
    void setIdNumber(int64_t next) { _idNumber = next; }
    // The storage format: Xml or Binary. Set by loading, and by saving in another format.
    plist::Format formatKind() const { return _formatKind; }
    void setFormatKind(plist::Format format) { _formatKind = format; }
    // The file's location as bytes; empty while the document is untitled.
    const std::string& url() const { return _url; }
    void setURL(std::string url) { _url = std::move(url); }
    // The private drag type of entries dragged within the application.
    const std::string& myUTI() const { return _myUTI; }

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
    // The bytes of plistString and of binaryData, handed to sink as they are made, about a megabyte at a
    // time, so that they are never held whole; an error as theirs, or of kind Io when the sink refuses.
    std::optional<plist::Error> writePlistString(const PlistWriter::TextSink& sink) const;
    std::optional<plist::Error> writeBinaryData(const PlistWriter::TextSink& sink) const;
    // The same of a tree from its root, on any thread while nothing changes the tree; once stop is set the
    // write ends (an error of kind Cancelled) within a few hundred entries and reads the tree no more.
    static plist::Expected<std::string> binaryDataOf(const Entry& root,
                                                     const std::atomic<bool>* stop = nullptr);
    // The services' value of an entry and everything below it.
    static plist::Value propertyListValue(const Entry& e);

    // Reads XML property-list text into a new tree numbered from _idNumber; fails when the text has no line
    // <plist version="1.0"> standing alone or does not follow the one-element-per-line layout, saying why
    // and on which line. The counter moves only when a tree is returned.
    plist::Expected<EntryRef, ReadError> makeRootEntryWithXML(std::string_view text,
                                                              LoadProgress* progress = nullptr);
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

    // Makes a new String entry with a fresh number.
    EntryRef makeStringItemWithString(std::string text);

private:
    std::vector<EntryRef> _entryArray; // the root alone, once loaded
    int64_t _idNumber = 0;
    plist::Format _formatKind = plist::Format::Xml;
    std::string _url;
    std::string _myUTI = "com.brisolde.vantrel";
    size_t _textSizeHint = 0; // length of the text the document was loaded from
};

} // namespace model
