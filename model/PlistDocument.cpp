#include "PlistDocument.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "EntryBuilder.h"
#include "PlistReader.h"
#include "ValueText.h"
#include "platform/plist/Base64.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/BinaryTreeWriter.h"
#include "platform/plist/DateTime.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/Scalars.h"
#include "platform/plist/Text.h"
#include "platform/plist/XmlWriter.h"

namespace model {
namespace {

// The bytes this process may still take: the memory the system has available (MemAvailable), and where the
// address space is limited (RLIMIT_AS), no more than is left of that limit.
uint64_t availableMemory() {
    uint64_t available = UINT64_MAX;
    if (FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[128];
        unsigned long long kb = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) available = uint64_t(kb) * 1024;
        std::fclose(f);
    }
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        unsigned long long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "re")) {
            if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const uint64_t used = uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
        available = std::min<uint64_t>(available, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    return available;
}

// Reads a regular file whole. Directories, FIFOs, devices and sockets are refused before any read, so an
// endless device can never hang a load; so is a file larger than the memory left to hold it, which would
// only fail, late and slowly, or push the whole system into swapping. The reasons are the system's words
// alone: whoever reports them names the file.
plist::Expected<std::string> readRegularFile(const std::string& path, LoadProgress* progress) {
    auto failure = [](const char* reason) { return plist::makeError(plist::Error::Kind::Io, reason); };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failure(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    if (uint64_t(st.st_size) > availableMemory()) {
        ::close(fd);
        return plist::noMemoryError();
    }
    std::string bytes;
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() + 65536); // the file grew while we read it
        // Read in pieces when someone watches, so that the bar moves and a cancel is heard.
        const size_t piece = progress ? std::min<size_t>(bytes.size() - got, 8 << 20) : bytes.size() - got;
        ssize_t n = ::read(fd, bytes.data() + got, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            return failure(std::strerror(e));
        }
        if (n == 0) break;
        got += size_t(n);
        if (progress) {
            progress->report(LoadProgress::Reading, got, bytes.size());
            if (progress->isCancelled()) {
                ::close(fd);
                return failure(kLoadCancelled);
            }
        }
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

// The number of objects a binary property list declares in its trailer (the 8 bytes at 8 from its end), or
// 0 for bytes too short to hold one; only an estimate of the entries it makes, for a progress bar.
uint64_t binaryObjectCount(std::string_view bytes) {
    if (bytes.size() < 40) return 0;
    uint64_t n = 0;
    for (size_t i = bytes.size() - 24; i < bytes.size() - 16; ++i)
        n = n << 8 | uint8_t(bytes[i]);
    return std::min<uint64_t>(n, bytes.size());
}

class Writer {
public:
    explicit Writer(WriteMode mode) : mode_(mode) {}

    bool scalar(const Entry& e, std::string& out) {
        switch (e.type()) {
        case EntryType::Boolean:
            out += e.boolValue() ? "<true/>" : "<false/>";
            return true;
        case EntryType::Number: {
            const Number& n = e.numberValue();
            if (!n.isReal) {
                out += "<integer>";
                out += n.integer.toString();
                out += "</integer>";
            } else {
                out += "<real>";
                out += std::isfinite(n.real) ? numberText(n) : plist::scalars::formatReal(n.real);
                out += "</real>";
            }
            return true;
        }
        case EntryType::Data:
            out += "<data>";
            plist::base64::encode(e.dataValue().data(), e.dataValue().size(), out);
            out += "</data>";
            return true;
        case EntryType::Date:
            return date(e, out);
        case EntryType::String:
        case EntryType::NotApplicable: // written as the text it shows, so no key loses its value
            out += "<string>";
            if (!text(e, e.stringValue(), out)) return false;
            out += "</string>";
            return true;
        case EntryType::Array:
        case EntryType::Dictionary:
            break;
        }
        return false;
    }

    bool container(const Children& child, unsigned level, int kind, std::string& out) {
        if (level + 1 > unsigned(plist::kMaxNestingDepth))
            return tooDeep(child.empty() ? nullptr : child.front().get());
        bool dict = kind == 1;
        out += dict ? "<dict>" : "<array>";
        for (const EntryRef& c : child) {
            if (dict) {
                out += '\n';
                out.append(level + 1, '\t');
                out += "<key>";
                if (!text(*c, c->key, out)) return false;
                out += "</key>";
            }
            out += '\n';
            out.append(level + 1, '\t');
            if (c->isContainer()) {
                bool isArray = c->type() != EntryType::Dictionary;
                // This child container stands at depth level + 2 (the top element is at depth 1).
                if (level + 2 > unsigned(plist::kMaxNestingDepth)) return tooDeep(c.get());
                if (c->child().empty()) {
                    out += isArray ? "<array/>" : "<dict/>";
                } else if (!container(c->child(), level + 1, isArray ? 0 : 1, out)) {
                    return false;
                }
            } else if (!scalar(*c, out)) {
                return false;
            }
        }
        out += '\n';
        out.append(level, '\t');
        out += dict ? "</dict>" : "</array>";
        return true;
    }

    plist::Error error() const {
        if (tooDeep_)
            return plist::makeError(plist::Error::Kind::TooDeep, "The document is nested more than " +
                                                                     std::to_string(plist::kMaxNestingDepth) +
                                                                     " levels deep (at \u201c" + failedPath_ +
                                                                     "\u201d).");
        std::string_view m = kUnrepresentableMessage;
        size_t at = m.find("%@");
        std::string message(m.substr(0, at));
        message += failedPath_;
        message += m.substr(at + 2);
        return plist::makeError(plist::Error::Kind::Unrepresentable, message);
    }
    const std::string& failedPath() const { return failedPath_; }

private:
    bool tooDeep(const Entry* e) {
        tooDeep_ = true;
        return fail(e);
    }

    bool fail(const Entry* e) {
        if (failedPath_.empty()) failedPath_ = e ? PlistDocument::keyPath(*e) : "Root";
        return false;
    }

    bool text(const Entry& e, std::string_view s, std::string& out) {
        if (mode_ == WriteMode::Sanitized) {
            plist::text::appendEscaped(out, plist::text::xmlSafe(s), false);
            return true;
        }
        if (plist::text::appendEscaped(out, s, mode_ == WriteMode::Exact)) return true;
        return fail(&e);
    }

    bool date(const Entry& e, std::string& out) {
        double s = e.dateValue().seconds;
        out += "<date>";
        if (mode_ == WriteMode::Exact) {
            out += plist::datetime::formatExact(s);
        } else if (auto iso = plist::datetime::formatIso8601(s)) {
            out += *iso; // fractions of a second are dropped: the format has whole seconds
        } else if (mode_ == WriteMode::Sanitized) {
            out += dateStringOfISO8601FormatWithDate(e.dateValue());
        } else {
            return fail(&e);
        }
        out += "</date>";
        return true;
    }

    WriteMode mode_;
    std::string failedPath_;
    bool tooDeep_ = false;
};

} // namespace

LoadOutcome PlistDocument::openPlistFile(LoadProgress* progress) try {
    LoadOutcome outcome;
    if (_url.empty()) {
        _formatKind = 0;
        _entryArray.push_back(Entry::makeContainer("", EntryType::Array));
        outcome.ok = true;
        return outcome;
    }
    auto bytes = readRegularFile(_url, progress);
    if (!bytes) {
        outcome.reason = bytes.error().message;
        return outcome;
    }
    // Binary bytes become entries straight from the reader's events.
    if (bytes->starts_with("bplist00")) {
        auto root = rootEntryWithBinaryData(*bytes, progress);
        if (!root) {
            outcome.reason = root.error().message;
            return outcome;
        }
        _formatKind = 1;
        _textSizeHint = bytes->size() * 3; // binary files grow about threefold as text
        _entryArray.push_back(std::move(*root));
        outcome.ok = true;
        return outcome;
    }
    // Other bytes go to the services' own text (never the file's own line layout), which the line reader
    // then reads; neither the bytes nor any value tree outlives that step.
    if (progress) progress->report(LoadProgress::Building, 0, 0); // the XML parse has no count of its own
    plist::Expected<plist::ParsedText> parsed =
        plist::parseToXmlText(*bytes, plist::XmlWriteOptions{.exact = true});
    bytes = std::string();
    if (!parsed) {
        outcome.reason = parsed.error().message;
        return outcome;
    }
    if (parsed->format == plist::Format::OpenStep) {
        outcome.reason = "the file is in the old text property-list format, which the editor does not open";
        return outcome;
    }
    _formatKind = parsed->format == plist::Format::Binary ? 1 : 0;
    _textSizeHint = parsed->text.size();
    EntryRef root = makeRootEntryWithXML(parsed->text, progress);
    if (!root) {
        outcome.reason = progress && progress->isCancelled()
                             ? kLoadCancelled
                             : "the property list could not be read into entries";
        return outcome;
    }
    _entryArray.push_back(std::move(root));
    outcome.ok = true;
    return outcome;
} catch (const std::bad_alloc&) {
    // Whatever was built is gone with the unwinding; the document stays as it was before the load.
    _entryArray.clear();
    LoadOutcome outcome;
    outcome.reason = plist::kNotEnoughMemory;
    return outcome;
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

EntryRef PlistDocument::makeRootEntryWithXML(std::string_view text, LoadProgress* progress) {
    const int64_t saved = _idNumber;
    try {
        return PlistReader(_idNumber, progress).makeRootEntryWithXML(text);
    } catch (...) {
        _idNumber = saved;
        throw;
    }
}

namespace {

plist::Error notAnEntry() {
    return plist::makeError(plist::Error::Kind::NotPropertyList, "the text is no property-list document");
}

} // namespace

plist::Expected<EntryRef> PlistDocument::rootEntryWithPropertyListText(std::string_view text) try {
    auto parsed = plist::parseToXmlText(text, plist::XmlWriteOptions{.exact = true});
    if (!parsed) return parsed.error();
    if (parsed->format != plist::Format::Xml || !parsed->hasPlistElement) return notAnEntry();
    if (EntryRef root = makeRootEntryWithXML(parsed->text)) return root;
    return notAnEntry();
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<EntryRef> PlistDocument::rootEntryWithPropertyListData(std::string_view bytes) try {
    if (bytes.starts_with("bplist00")) return rootEntryWithBinaryData(bytes);
    auto parsed = plist::parseToXmlText(bytes, plist::XmlWriteOptions{.exact = true});
    if (!parsed) return parsed.error();
    if (parsed->format == plist::Format::OpenStep) return notAnEntry();
    if (EntryRef root = makeRootEntryWithXML(parsed->text)) return root;
    return notAnEntry();
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
    Writer w(mode);
    if (item->isContainer()) {
        bool isArray = item->type() != EntryType::Dictionary;
        if (item->child().empty())
            out += isArray ? "<array/>" : "<dict/>";
        else if (!w.container(item->child(), 0, isArray ? 0 : 1, out))
            return w.error();
    } else if (!w.scalar(*item, out)) {
        return w.error();
    }
    out += plist::kXmlTail;
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> PlistDocument::noHeaderPlistStringWithChild(const Children& child,
                                                                         unsigned level, int classTypeNumber,
                                                                         WriteMode mode) const try {
    std::string out;
    Writer w(mode);
    if (!w.container(child, level, classTypeNumber == 1 ? 1 : 0, out)) return w.error();
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> PlistDocument::noHeaderPlistStringWithAloneItem(const Entry& item,
                                                                             WriteMode mode) const try {
    std::string out;
    Writer w(mode);
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

plist::Expected<std::string> PlistDocument::binaryData() const try {
    if (!root()) return plist::makeError(plist::Error::Kind::Unrepresentable, "the document has no root");
    return plist::BinaryTreeWriter<EntryAdapter>().run(*root());
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

std::string PlistDocument::keyPath(const Entry& e) {
    std::vector<const Entry*> chain;
    for (const Entry* p = &e; p; p = p->parent())
        chain.push_back(p);
    std::string path = "Root";
    for (size_t i = chain.size() - 1; i-- > 0;) {
        const Entry* c = chain[i];
        path += " \u203a ";
        if (c->parent()->type() == EntryType::Dictionary)
            path += c->key;
        else
            path += "Item " + std::to_string(c->indexInParent());
    }
    return path;
}

} // namespace model
