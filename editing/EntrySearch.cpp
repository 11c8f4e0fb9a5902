#include "EntrySearch.h"

#include <QObject>

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>

#include "model/ValueText.h"

namespace editing {

namespace {

bool isWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

// Calls found(start, length, match) for each occurrence of the search in text, in order; match is set for
// a regular expression only. Empty occurrences are never found: they have nothing to show or replace.
template <typename Found>
void forEachOccurrence(const QString& pattern, const SearchOptions& options, const QRegularExpression& regex,
                       QStringView text, Found found) {
    if (options.regularExpression) {
        QRegularExpressionMatchIterator it = regex.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength() > 0) found(int(m.capturedStart()), int(m.capturedLength()), &m);
        }
        return;
    }
    const Qt::CaseSensitivity cs = options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (qsizetype at = text.indexOf(pattern, 0, cs); at >= 0;) {
        const qsizetype end = at + pattern.size();
        const bool whole = !options.wholeWords || ((at == 0 || !isWordCharacter(text[at - 1])) &&
                                                   (end == text.size() || !isWordCharacter(text[end])));
        if (whole) found(int(at), int(pattern.size()), static_cast<const QRegularExpressionMatch*>(nullptr));
        at = text.indexOf(pattern, whole ? end : at + 1, cs);
    }
}

// A regular expression's replacement with \0 ... \9 taken from the match; "\\" is a backslash.
QString expanded(const QString& replacement, const QRegularExpressionMatch* m) {
    if (!m) return replacement;
    QString out;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c == u'\\' && i + 1 < replacement.size()) {
            const QChar n = replacement[i + 1];
            if (n.isDigit()) {
                out += m->captured(n.digitValue());
                ++i;
                continue;
            }
            if (n == u'\\') {
                out += n;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// The value a scalar's new text reads as, by the strict readings of typed values; none when it does not.
std::optional<Entry::Value> typedValueOf(const Entry& e, const std::string& text) {
    switch (e.type()) {
    case EntryType::String:
        return text;
    case EntryType::Number:
        if (auto n = model::numberWithTypedText(text)) return *n;
        return std::nullopt;
    case EntryType::Date:
        if (auto d = model::dateWithDescription(text)) return *d;
        return std::nullopt;
    case EntryType::Data: {
        auto bytes = text.size() >= 2 && text.front() == '<' && text.back() == '>'
                         ? model::dataWithOldHexString(text)
                         : model::dataWithNewHexString(text);
        if (bytes) return *bytes;
        return std::nullopt;
    }
    case EntryType::Boolean:
        if (text == "true" || text == "false") return text == "true";
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

bool sameValue(const Entry::Value& a, const Entry::Value& b) {
    if (a.index() != b.index()) return false;
    if (auto n = std::get_if<model::Number>(&a)) {
        const auto& m = std::get<model::Number>(b);
        return n->isReal == m.isReal && n->sameNumber(m);
    }
    if (auto d = std::get_if<plist::Date>(&a)) return *d == std::get<plist::Date>(b);
    if (auto s = std::get_if<std::string>(&a)) return *s == std::get<std::string>(b);
    if (auto x = std::get_if<bool>(&a)) return *x == std::get<bool>(b);
    if (auto x = std::get_if<model::Data>(&a)) return *x == std::get<model::Data>(b);
    return false;
}

} // namespace

EntrySearch::EntrySearch(const QString& pattern, const SearchOptions& options)
    : pattern_(pattern), options_(options) {
    bool ascii = !options.regularExpression;
    for (QChar c : pattern)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) asciiPattern_ = (options.matchCase ? pattern : pattern.toLower()).toStdString();
    if (!options.regularExpression || pattern.isEmpty()) return;
    QString source = pattern;
    if (options.wholeWords) source = QStringLiteral("(?<!\\w)(?:%1)(?!\\w)").arg(pattern);
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    if (!options.matchCase) flags |= QRegularExpression::CaseInsensitiveOption;
    regex_ = QRegularExpression(source, flags);
    if (!regex_.isValid()) {
        // The offset is counted in the pattern as typed, not in the whole-word wrapping.
        const qsizetype prefix = source.size() - pattern.size() > 0 ? source.indexOf(pattern) : 0;
        const qsizetype offset = std::max<qsizetype>(0, regex_.patternErrorOffset() - prefix);
        error_ = QObject::tr("%1 at character %2").arg(regex_.errorString()).arg(offset + 1);
    } else {
        regex_.optimize();
    }
}

std::optional<QString> EntrySearch::searchedText(const Entry& e, SearchField field) {
    if (field == SearchField::Key) {
        if (!e.parent() || e.parent()->type() != EntryType::Dictionary) return std::nullopt;
        return QString::fromStdString(e.key);
    }
    if (e.isContainer()) return std::nullopt;
    if (e.type() == EntryType::String) return QString::fromStdString(e.stringValue());
    return QString::fromStdString(model::valueText(e));
}

void EntrySearch::appendIn(const EntryRef& e, SearchField field, std::string_view text,
                           std::vector<SearchMatch>& out) const {
    if (asciiPattern_ && asciiPattern_->size() <= text.size()) {
        thread_local std::string folded;
        folded.assign(text);
        bool ascii = true;
        for (char& c : folded) {
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            if (!options_.matchCase && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        }
        if (ascii) {
            auto word = [&](size_t i) {
                return std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_';
            };
            const size_t n = asciiPattern_->size();
            for (size_t at = folded.find(*asciiPattern_); at != std::string::npos;) {
                const bool whole = !options_.wholeWords ||
                                   ((at == 0 || !word(at - 1)) && (at + n == text.size() || !word(at + n)));
                if (whole) out.push_back({e, field, int(at), int(n)});
                at = folded.find(*asciiPattern_, whole ? at + n : at + 1);
            }
            return;
        }
    } else if (asciiPattern_) {
        return;
    }
    const QString decoded = QString::fromUtf8(text.data(), qsizetype(text.size()));
    forEachOccurrence(pattern_, options_, regex_, decoded, [&](int start, int length, const auto*) {
        out.push_back({e, field, start, length});
    });
}

void EntrySearch::appendMatches(const EntryRef& e, std::vector<SearchMatch>& out) const {
    if (pattern_.isEmpty() || !isValid() || (options_.type && e->type() != *options_.type)) return;
    if (options_.keys && e->parent() && e->parent()->type() == EntryType::Dictionary)
        appendIn(e, SearchField::Key, e->key, out);
    if (!options_.values || e->isContainer()) return;
    if (e->type() == EntryType::String)
        appendIn(e, SearchField::Value, e->stringValue(), out);
    else
        appendIn(e, SearchField::Value, model::valueText(*e), out);
}

QString EntrySearch::replaced(const QString& text, const QString& replacement, int start) const {
    QString out;
    qsizetype copied = 0;
    forEachOccurrence(pattern_, options_, regex_, text, [&](int at, int length, const auto* m) {
        if (start >= 0 && at != start) return;
        out += QStringView(text).mid(copied, at - copied);
        out += expanded(replacement, m);
        copied = at + length;
    });
    out += QStringView(text).mid(copied);
    return out;
}

Entry* nextInDocumentOrder(const Entry* e) {
    if (e->childCount() > 0) return e->child().front().get();
    for (; e->parent(); e = e->parent()) {
        const Entry* p = e->parent();
        if (e->indexInParent() + 1 < p->childCount()) return p->child()[e->indexInParent() + 1].get();
    }
    return nullptr;
}

SearchRun::SearchRun(EntrySearch search, EntryRef root, SearchAnchor anchor)
    : search_(std::move(search)), root_(std::move(root)), anchor_(std::move(anchor)) {
    if (!anchor_.entry || !anchor_.entry->isInTreeOf(root_.get())) anchor_ = {root_, SearchField::Key, 0};
    cursor_ = anchor_.entry;
    done_ = !root_ || search_.isEmpty() || !search_.isValid();
}

bool SearchRun::step(size_t entries) {
    auto before = [this](const SearchMatch& m) {
        return m.field < anchor_.field || (m.field == anchor_.field && m.start < anchor_.offset);
    };
    for (; entries > 0 && !done_; --entries) {
        const size_t first = matches_.size();
        search_.appendMatches(cursor_, matches_);
        if (cursor_ == anchor_.entry) {
            // The anchor's own entry is searched twice: from the anchor on at the start, before it at the
            // end.
            auto cut = std::partition(matches_.begin() + long(first), matches_.end(),
                                      [&](const SearchMatch& m) { return before(m) == wrapped_; });
            matches_.erase(cut, matches_.end());
            if (wrapped_) {
                done_ = true;
                // Into document order: what lay before the wrap comes after what was found after it.
                std::rotate(matches_.begin(), matches_.begin() + long(foundBeforeWrap_), matches_.end());
                break;
            }
        }
        Entry* next = nextInDocumentOrder(cursor_.get());
        if (!next) {
            wrapped_ = true;
            foundBeforeWrap_ = matches_.size();
            next = root_.get();
        }
        cursor_ = EntryRef(next);
    }
    return done_;
}

std::optional<size_t> SearchRun::firstFromAnchor() const {
    if (matches_.empty()) return std::nullopt;
    if (!done_) return 0;
    return (matches_.size() - foundBeforeWrap_) % matches_.size();
}

Replacement replacementOf(const EntrySearch& search, const std::vector<SearchMatch>& matches,
                          const QString& replacement, const std::string& title) {
    Replacement out;
    out.batch.push_back(CommandRecord::title(title));
    // The keys of each Dictionary touched, as the renames so far leave them.
    std::map<const Entry*, std::unordered_map<std::string, size_t>> keysOf;
    for (size_t i = 0; i < matches.size();) {
        const SearchMatch& m = matches[i];
        size_t end = i + 1;
        while (end < matches.size() && matches[end].entry == m.entry && matches[end].field == m.field)
            ++end;
        const std::optional<QString> text = EntrySearch::searchedText(*m.entry, m.field);
        const size_t count = end - i;
        i = end;
        if (!text) continue;
        // One match replaces only itself; several replace every occurrence in the text.
        const std::string after =
            search.replaced(*text, replacement, count == 1 ? m.start : -1).toStdString();
        Entry* e = m.entry.get();
        EntryRef parent(e->parent());
        const int64_t index = parent ? int64_t(e->indexInParent()) : 0;
        if (m.field == SearchField::Key) {
            if (after == e->key) continue;
            auto [keys, fresh] = keysOf.try_emplace(parent.get());
            if (fresh)
                for (const EntryRef& c : parent->child())
                    ++keys->second[c->key];
            if (keys->second[after] > 0) {
                out.skippedKeyExists += count;
                continue;
            }
            --keys->second[e->key];
            ++keys->second[after];
            out.batch.push_back(CommandRecord::renameKey(parent, index, after));
        } else {
            std::optional<Entry::Value> value = typedValueOf(*e, after);
            if (!value) {
                out.skippedNotOfType += count;
                continue;
            }
            if (sameValue(*value, e->value())) continue;
            out.batch.push_back(CommandRecord::changeValue(parent, index, std::move(*value)));
        }
        out.replaced += count;
    }
    return out;
}

} // namespace editing
