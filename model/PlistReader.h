// The line-oriented reader: XML property-list text, one element or tag per line, into an entry tree.
//
// Lines are classified by their beginning; each element line is decoded by the services' one-element parse.
// Everything runs in time linear in the text: the line clean-up is one pass each, and the children of every
// container are counted in one pass over all lines before reading.
#pragma once

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

    explicit PlistReader(int64_t& idNumber, LoadProgress* progress = nullptr)
        : idNumber_(idNumber), progress_(progress) {}

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
    bool joinDataLines();
    void foldEmptyContainers(std::string_view open, std::string_view close, std::string_view folded);
    void countAllChildren();

    std::optional<Children> makeEntryFromXMLLines(int64_t& lineNum, int classTypeNumber, int depth);
    bool xml_setValueToEntry(Entry& entry, int64_t& lineNum, int depth);
    int64_t countXMLItemWithLines(int64_t startLineNum) const;

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
};

} // namespace model
