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
#include "platform/plist/Value.h"

namespace model {

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

    // The root entry of the text, or none.
    EntryRef makeRootEntryWithXML(std::string_view text);

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

    std::string_view own(std::string s) { return owned_.emplace_back(std::move(s)); }

    int64_t& idNumber_;
    LoadProgress* progress_; // reported to every few thousand entries; a cancel gives none
    Lines lines_;
    std::deque<std::string> owned_;    // lines that the clean-up changed
    std::vector<int32_t> childCounts_; // per line: direct children of a container opened there, or -1
};

} // namespace model
