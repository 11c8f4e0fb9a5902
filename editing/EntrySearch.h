// Finding text in a document's keys and values, and what replacing it would make of each entry: the search
// behind the find bar, walked in slices so that a very large document never holds up the window.
#pragma once

#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandRecord.h"

namespace editing {

enum class SearchField : uint8_t { Key, Value };

struct SearchOptions {
    bool keys = true;
    bool values = true;
    bool matchCase = false;
    bool wholeWords = false;
    bool regularExpression = false;
    // Only entries of this type; none for any type.
    std::optional<EntryType> type;
};

// One occurrence of the pattern: in an entry's key or value text, from start, in UTF-16 code units.
struct SearchMatch {
    EntryRef entry;
    SearchField field = SearchField::Key;
    int start = 0;
    int length = 0;
};

// A place in the document to search from: an entry, a field of it and an offset in that field's text.
struct SearchAnchor {
    EntryRef entry;
    SearchField field = SearchField::Key;
    int offset = 0;
};

class EntrySearch {
public:
    EntrySearch() = default;
    EntrySearch(const QString& pattern, const SearchOptions& options);

    bool isEmpty() const { return pattern_.isEmpty(); }
    // False for a regular expression that does not compile; errorString() says why and where.
    bool isValid() const { return error_.isEmpty(); }
    QString errorString() const { return error_; }
    const SearchOptions& options() const { return options_; }

    // The text a field is searched in, as the outline shows it: real keys (those of a Dictionary's entries),
    // and the value text of scalars (the number's text form, "true"/"false", the display date, the data's
    // hex form). None where the field holds nothing to search.
    static std::optional<QString> searchedText(const Entry& e, SearchField field);
    // Appends the occurrences in an entry to out, key before value, each in the order of its text.
    void appendMatches(const EntryRef& e, std::vector<SearchMatch>& out) const;

    // The text with the occurrence at start (or, for start -1, every occurrence) replaced; a regular
    // expression's replacement may name its groups as \1 ... \9 and \0.
    QString replaced(const QString& text, const QString& replacement, int start = -1) const;

private:
    void appendIn(const EntryRef& e, SearchField field, std::string_view text,
                  std::vector<SearchMatch>& out) const;

    QString pattern_;
    SearchOptions options_;
    QString error_;
    QRegularExpression regex_;
    // A plain pattern of ASCII characters only is looked for in ASCII texts byte by byte, without decoding
    // them (folded to lower case when the case does not matter).
    std::optional<std::string> asciiPattern_;
};

// The entry after e in document order (an entry, then its children, then its next sibling), or none after
// the last entry below root.
Entry* nextInDocumentOrder(const Entry* e);

// One search over a whole tree, run in slices: from the anchor to the end, then from the top back to the
// anchor. Entries are held by reference, so a walk interrupted by an edit never reads freed entries; the
// caller starts a new run after every change to the tree.
class SearchRun {
public:
    SearchRun(EntrySearch search, EntryRef root, SearchAnchor anchor);

    // Visits at most this many entries; true once the whole tree has been searched.
    bool step(size_t entries);
    bool isDone() const { return done_; }
    // Before the run is done, in the order found from the anchor; once done, in document order.
    const std::vector<SearchMatch>& matches() const { return matches_; }
    // The index of the first match at or after the anchor (wrapping round to the first of the document);
    // none while there is no match.
    std::optional<size_t> firstFromAnchor() const;
    const EntrySearch& search() const { return search_; }

private:
    EntrySearch search_;
    EntryRef root_;
    SearchAnchor anchor_;
    EntryRef cursor_;
    bool wrapped_ = false;
    bool done_ = false;
    size_t foundBeforeWrap_ = 0;
    std::vector<SearchMatch> matches_;
};

// What Replace All makes of the matches: one batch of renames and value changes, and how many were
// replaced or skipped, and why.
struct Replacement {
    CommandBatch batch;
    size_t replaced = 0;
    size_t skippedKeyExists = 0;
    size_t skippedNotOfType = 0;
};

// Builds the commands that put replacement in place of the given matches (all from one search, in document
// order). A key that would equal another key of its Dictionary, and a Number, Date, Data or Boolean value
// whose new text does not read as its type, are skipped and counted; texts left unchanged count as neither.
Replacement replacementOf(const EntrySearch& search, const std::vector<SearchMatch>& matches,
                          const QString& replacement, const std::string& title);

} // namespace editing
