#include "PlistDocument.h"

#include <algorithm>
#include <new>

#include "EntryBuilder.h"
#include "platform/file/RegularFile.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/BinaryTreeWriter.h"
#include "platform/plist/XmlWriter.h"

namespace model {
namespace {

// The number of objects a binary property list declares in its trailer (the 8 bytes at 8 from its end), or
// 0 for bytes too short to hold one; only an estimate of the entries it makes, for a progress bar.
uint64_t binaryObjectCount(std::string_view bytes) {
    if (bytes.size() < 40) return 0;
    uint64_t n = 0;
    for (size_t i = bytes.size() - 24; i < bytes.size() - 16; ++i)
        n = n << 8 | uint8_t(bytes[i]);
    return std::min<uint64_t>(n, bytes.size());
}

} // namespace

LoadOutcome PlistDocument::openPlistFile(LoadProgress* progress) try {
    LoadOutcome outcome;
    if (_url.empty()) {
        _formatKind = plist::Format::Xml;
        _entryArray.push_back(Entry::makeContainer("", EntryType::Array));
        outcome.ok = true;
        return outcome;
    }
    auto bytes =
        platform::readRegularFile(_url,
                                  progress ? platform::ReadWatcher([progress](uint64_t done, uint64_t total) {
                                      progress->report(LoadProgress::Reading, done, total);
                                      return !progress->isCancelled();
                                  })
                                           : platform::ReadWatcher(),
                                  kLoadCancelled);
    if (!bytes) {
        outcome.reason = bytes.error().message;
        return outcome;
    }
    return openPlistData(std::move(*bytes), progress);
} catch (const std::bad_alloc&) {
    _entryArray.clear();
    LoadOutcome outcome;
    outcome.reason = plist::kNotEnoughMemory;
    return outcome;
}

LoadOutcome PlistDocument::openPlistData(std::string bytesRead, LoadProgress* progress) try {
    LoadOutcome outcome;
    std::optional<std::string> bytes(std::move(bytesRead));
    // Binary bytes become entries straight from the reader's events.
    if (bytes->starts_with("bplist00")) {
        auto root = rootEntryWithBinaryData(*bytes, progress);
        if (!root) {
            outcome.reason = root.error().message;
            return outcome;
        }
        _formatKind = plist::Format::Binary;
        _textSizeHint = bytes->size() * 3; // binary files grow about threefold as text
        _entryArray.push_back(std::move(*root));
        outcome.ok = true;
        return outcome;
    }
    // Other bytes go to the services' own text (never the file's own line layout), which the line reader
    // then reads; neither the bytes nor any value tree outlives that step.
    // The parse counts the bytes it has passed, and stops within a few thousand elements of a cancel.
    plist::Expected<plist::ParsedText> parsed =
        plist::parseToXmlText(*bytes, plist::XmlWriteOptions{.exact = true, .indent = false},
                              progress ? plist::ParseWatcher([progress](uint64_t done, uint64_t total) {
                                  progress->report(LoadProgress::Building, done, total);
                                  return !progress->isCancelled();
                              })
                                       : plist::ParseWatcher());
    const size_t bytesRead = bytes->size();
    bytes = std::string();
    if (!parsed) {
        outcome.reason =
            parsed.error().kind == plist::Error::Kind::Cancelled ? kLoadCancelled : parsed.error().message;
        return outcome;
    }
    if (parsed->format == plist::Format::OpenStep) {
        outcome.reason = "the file is in the old text property-list format, which the editor does not open";
        return outcome;
    }
    _formatKind = parsed->format == plist::Format::Binary ? plist::Format::Binary : plist::Format::Xml;
    // The text was made without indent; a saved one has it, about as much as the file had.
    _textSizeHint = std::max(parsed->text.size(), bytesRead);
    auto root = makeRootEntryWithXML(parsed->text, progress);
    if (!root) {
        outcome.reason =
            progress && progress->isCancelled()
                ? kLoadCancelled
                : "the property list could not be read into entries (" + root.error().message() + ")";
        return outcome;
    }
    _entryArray.push_back(std::move(*root));
    outcome.ok = true;
    return outcome;
} catch (const std::bad_alloc&) {
    // Whatever was built is gone with the unwinding; the document stays as it was before the load.
    _entryArray.clear();
    LoadOutcome outcome;
    outcome.reason = plist::kNotEnoughMemory;
    return outcome;
}

void PlistDocument::setRoot(EntryRef root) {
    _entryArray.clear();
    if (root) _entryArray.push_back(std::move(root));
}

void PlistDocument::reset() {
    _entryArray.clear();
    _idNumber = 0;
}

plist::Expected<EntryRef> PlistDocument::rootEntryWithBinaryData(std::string_view bytes,
                                                                 LoadProgress* progress) {
    const int64_t saved = _idNumber;
    try {
        EntryBuilder builder(_idNumber);
        if (progress) builder.reportTo(progress, binaryObjectCount(bytes));
        auto error = plist::readBinary(bytes, builder);
        return builder.finish(std::move(error));
    } catch (...) {
        _idNumber = saved;
        throw;
    }
}

plist::Expected<EntryRef, ReadError> PlistDocument::makeRootEntryWithXML(std::string_view text,
                                                                         LoadProgress* progress) {
    const int64_t saved = _idNumber;
    try {
        return PlistReader(_idNumber, progress).makeRootEntryWithXML(text);
    } catch (...) {
        _idNumber = saved;
        throw;
    }
}

namespace {

plist::Error notAnEntry(const ReadError* why = nullptr) {
    std::string message = "the text is no property-list document";
    if (why) message += " (" + why->message() + ")";
    return plist::makeError(plist::Error::Kind::NotPropertyList, std::move(message));
}

} // namespace

plist::Expected<EntryRef> PlistDocument::rootEntryWithPropertyListText(std::string_view text) try {
    auto parsed = plist::parseToXmlText(text, plist::XmlWriteOptions{.exact = true, .indent = false});
    if (!parsed) return parsed.error();
    if (parsed->format != plist::Format::Xml || !parsed->hasPlistElement) return notAnEntry();
    auto root = makeRootEntryWithXML(parsed->text);
    if (!root) return notAnEntry(&root.error());
    return std::move(*root);
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<EntryRef> PlistDocument::rootEntryWithPropertyListData(std::string_view bytes) try {
    if (bytes.starts_with("bplist00")) return rootEntryWithBinaryData(bytes);
    auto parsed = plist::parseToXmlText(bytes, plist::XmlWriteOptions{.exact = true, .indent = false});
    if (!parsed) return parsed.error();
    if (parsed->format == plist::Format::OpenStep) return notAnEntry();
    auto root = makeRootEntryWithXML(parsed->text);
    if (!root) return notAnEntry(&root.error());
    return std::move(*root);
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

EntryRef PlistDocument::makeStringItemWithString(std::string text) {
    return Entry::make("", EntryType::String, std::move(text), _idNumber++);
}

plist::Expected<std::string> PlistDocument::plistStringWithItem(const EntryRef& item, WriteMode mode) const
    try {
    if (!item) return plist::makeError(plist::Error::Kind::Unrepresentable, "the document has no root");
    std::string out;
    // The text of the whole document is about as long as the text it was loaded from.
    out.reserve(item == root() ? std::max<size_t>(_textSizeHint + _textSizeHint / 8, 4096) : 4096);
    out += plist::kXmlHead;
    PlistWriter w(mode);
    if (!w.topElement(*item, out)) return w.error();
    out += plist::kXmlTail;
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

std::optional<plist::Error> PlistDocument::writePlistString(const PlistWriter::TextSink& sink) const try {
    if (!root()) return plist::makeError(plist::Error::Kind::Unrepresentable, "the document has no root");
    std::string out;
    out.reserve(PlistWriter::kFlushBytes + 4096);
    out += plist::kXmlHead;
    PlistWriter w(WriteMode::Strict);
    w.flushTo(&sink);
    if (!w.topElement(*root(), out)) return w.error();
    out += plist::kXmlTail;
    if (!sink(out)) return plist::makeError(plist::Error::Kind::Io, "the text could not be written");
    return std::nullopt;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> PlistDocument::noHeaderPlistStringWithChild(const Children& child,
                                                                         unsigned level, int classTypeNumber,
                                                                         WriteMode mode) const try {
    std::string out;
    PlistWriter w(mode);
    if (!w.container(child, level, classTypeNumber == 1, out)) return w.error();
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> PlistDocument::noHeaderPlistStringWithAloneItem(const Entry& item,
                                                                             WriteMode mode) const try {
    std::string out;
    PlistWriter w(mode);
    if (!w.scalar(item, out)) return w.error();
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Value PlistDocument::propertyListValue(const Entry& e) {
    switch (e.type()) {
    case EntryType::Array:
    case EntryType::Dictionary: {
        if (!e.isContainer()) break;
        if (e.type() == EntryType::Array) {
            plist::Value::Array a;
            a.reserve(e.child().size());
            for (const EntryRef& c : e.child())
                a.push_back(propertyListValue(*c));
            return plist::Value(std::move(a));
        }
        plist::Value::Dictionary d;
        d.reserve(e.child().size());
        for (const EntryRef& c : e.child())
            d.emplace_back(c->key, propertyListValue(*c));
        return plist::Value(std::move(d));
    }
    case EntryType::Boolean:
        return plist::Value(e.boolValue());
    case EntryType::Number: {
        const Number& n = e.numberValue();
        return n.isReal ? plist::Value(n.real) : plist::Value(n.integer);
    }
    case EntryType::Date:
        return plist::Value(e.dateValue());
    case EntryType::Data:
        return plist::Value(e.dataValue());
    case EntryType::String:
    case EntryType::NotApplicable:
        return plist::Value(e.stringValue());
    }
    return plist::Value(std::string());
}

namespace {

// Describes the entry tree to the binary writer, which then writes it without a copy into values.
struct EntryAdapter {
    using Node = Entry;
    static plist::NodeKind kind(const Entry& e) {
        switch (e.type()) {
        case EntryType::Array:
            return e.isContainer() ? plist::NodeKind::Array : plist::NodeKind::String;
        case EntryType::Dictionary:
            return e.isContainer() ? plist::NodeKind::Dictionary : plist::NodeKind::String;
        case EntryType::Boolean:
            return plist::NodeKind::Boolean;
        case EntryType::Data:
            return plist::NodeKind::Data;
        case EntryType::Date:
            return plist::NodeKind::Date;
        case EntryType::Number:
            return e.numberValue().isReal ? plist::NodeKind::Real : plist::NodeKind::Integer;
        case EntryType::String:
        case EntryType::NotApplicable:
            return plist::NodeKind::String;
        }
        return plist::NodeKind::String;
    }
    static std::string_view string(const Entry& e) {
        return e.holdsString() ? std::string_view(e.stringValue()) : std::string_view();
    }
    static std::string_view data(const Entry& e) {
        return {reinterpret_cast<const char*>(e.dataValue().data()), e.dataValue().size()};
    }
    static plist::Integer integer(const Entry& e) { return e.numberValue().integer; }
    static double real(const Entry& e) { return e.numberValue().real; }
    static double date(const Entry& e) { return e.dateValue().seconds; }
    static bool boolean(const Entry& e) { return e.boolValue(); }
    static uint64_t uid(const Entry&) { return 0; }
    static size_t count(const Entry& e) { return e.child().size(); }
    static const Entry& child(const Entry& e, size_t i) { return *e.child()[i]; }
    static const CompactText& key(const Entry& e, size_t i) { return e.child()[i]->key; }
};

} // namespace

plist::Expected<std::string> PlistDocument::binaryData() const {
    if (!root()) return plist::makeError(plist::Error::Kind::Unrepresentable, "the document has no root");
    return binaryDataOf(*root());
}

std::optional<plist::Error> PlistDocument::writeBinaryData(const PlistWriter::TextSink& sink) const try {
    if (!root()) return plist::makeError(plist::Error::Kind::Unrepresentable, "the document has no root");
    return plist::BinaryTreeWriter<EntryAdapter>().run(*root(), sink);
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> PlistDocument::binaryDataOf(const Entry& root,
                                                         const std::atomic<bool>* stop) try {
    return plist::BinaryTreeWriter<EntryAdapter>(stop).run(root);
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

} // namespace model
