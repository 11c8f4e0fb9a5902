// The line-oriented reader: XML property-list text, one element or tag per line, into an entry tree.
//
// Lines are classified by their beginning; each element line is decoded by the services' one-element parse.
// Everything runs in time linear in the text: the line clean-up is one pass each, and the children of every
// container are counted in one pass over all lines before reading.
#pragma once

#include <atomic>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Entry.h"
#include "LoadProgress.h"
#include "platform/plist/Error.h"
#include "platform/plist/Value.h"

namespace model {

// Why the line reader refused a text, and where: the line of the text (counted from 1) on which it found the
// fault, or 0 when no one line is at fault.
struct ReadError {
    std::string reason;
    int64_t line = 0;

    // "line N: reason", or the reason alone.
    std::string message() const;
};

class PlistReader {
public:
    // Type numbers of the line classification; only the reader uses them.
    enum TypeNumber {
        kArray = 0,
        kDictionary,
        kBoolean,
        kData,
        kDate,
        kNumber,
        kString,
        kEmptyArray,
        kEmptyDictionary,
        kUnknown
    };

    // Texts of splitLines lines or more are read on two threads where the machine has them.
    explicit PlistReader(int64_t& idNumber, LoadProgress* progress = nullptr,
                         size_t splitLines = size_t(1) << 17)
        : idNumber_(idNumber), progress_(progress), splitLines_(splitLines) {}

    // The root entry of the text, or why there is none. Lines are counted only once a read has failed.
    plist::Expected<EntryRef, ReadError> makeRootEntryWithXML(std::string_view text);

    // The type name of one line, storing its type number when asked.
    static EntryType getTypeNameWithXML(std::string_view line, int* typeNum);
    // The text between an opening tag and the closing tag of a line, decoded as character data.
    static std::optional<std::string> string(std::string_view line, std::string_view tag);
    // The entry value of a value parsed from one element line.
    static Entry::Value descriptionOfValue(plist::Value&& v);

private:
    using Lines = std::vector<std::string_view>;

    bool makeLines(std::string_view text);
    bool cleanUpLines();
    void countAllChildren();

    std::optional<Children> makeEntryFromXMLLines(int64_t& lineNum, int classTypeNumber, int depth);
    bool xml_setValueToEntry(Entry& entry, int64_t& lineNum, int depth);
    int64_t countXMLItemWithLines(int64_t startLineNum) const;
    // Children first to last of a container, read from lineNum on and added to children.
    bool buildChildren(Children& children, int64_t& lineNum, int64_t first, int64_t last, int classTypeNumber,
                       int depth);
    // Reports progress and looks for a cancel or a stop; false when the build is to end.
    bool checkIn(int64_t lineNum);

    // A large document's biggest container has its children read on two threads: the first part here,
    // the rest by a second reader over the same lines, which starts where this one will end and numbers
    // its entries from where this one's numbers will end. Both are checked when they meet; a plan that
    // turns out wrong is dropped and the document read again on one thread, so the tree is always the
    // one the one-thread read gives.
    struct Split {
        int64_t container = -1;  // the line that opens the container
        int64_t secondIndex = 0; // the first child the second reader reads
        int64_t secondLine = 0;  // and the line it begins on
        int64_t firstIds = 0;    // entries the children before it make
    };
    Split planSplit() const;
    struct Large {
        int64_t open, close, parent; // lines; parent: the line that opens the container around it, or -1
    };
    std::vector<Large> large_;
    std::optional<Children> makeChildrenSplit(int64_t& lineNum, int64_t count, int classTypeNumber,
                                              int depth);

    // Keeps a line that the clean-up changed; from: where the line began in the text.
    std::string_view own(std::string s, const char* from) {
        ownedFrom_.push_back(from);
        return owned_.emplace_back(std::move(s));
    }
    // Records why the read fails, at a place in the text (none: at no one line); always false.
    bool fail(std::string reason, const char* at);
    bool failAt(std::string reason, int64_t lineNum);
    // Where a line began in the text; none for a line the clean-up made up.
    const char* originOf(std::string_view line) const;
    ReadError failure() const;

    int64_t& idNumber_;
    std::string_view text_;
    LoadProgress* progress_; // reported to every few thousand entries; a cancel gives none
    Lines lines_;
    std::deque<std::string> owned_;     // lines that the clean-up changed
    std::deque<const char*> ownedFrom_; // where each of them began in the text
    std::string failedReason_;
    const char* failedAt_ = nullptr;   // in the text
    std::vector<int32_t> childCounts_; // per line: direct children of a container opened there, or -1

    size_t splitLines_;
    const PlistReader* source_ = this; // whose lines are read: a second reader reads its partner's
    Split split_;
    bool splitFailed_ = false;
    const std::atomic<bool>* stop_ = nullptr;   // set when the partner has failed
    std::atomic<int64_t>* linesRead_ = nullptr; // a second reader's progress, for its partner to report
    int64_t lineBase_ = 0;                      // the line a second reader begins on
    const std::atomic<int64_t>* partnerRead_ = nullptr; // the second reader's progress, while it reads
};

} // namespace model
