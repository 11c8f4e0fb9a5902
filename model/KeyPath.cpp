#include "KeyPath.h"

#include <charconv>

namespace model {

std::optional<std::vector<std::string>> splitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    parts.emplace_back();
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '.') {
            parts.emplace_back();
        } else if (c == '\\') {
            if (i + 1 == path.size() || (path[i + 1] != '.' && path[i + 1] != '\\')) return std::nullopt;
            parts.back() += path[++i];
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string keyPathComponent(std::string_view key) {
    std::string out;
    out.reserve(key.size());
    for (char c : key) {
        if (c == '.' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string joinKeyPath(const std::vector<std::string>& parts) {
    std::string path;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) path += '.';
        path += keyPathComponent(parts[i]);
    }
    return path;
}

std::string keyPathOf(const Entry& e) {
    std::vector<std::string> parts;
    for (const Entry* x = &e; x->parent(); x = x->parent())
        parts.push_back(x->parent()->type() == EntryType::Array ? std::to_string(x->indexInParent())
                                                                : std::string(x->key));
    return joinKeyPath({parts.rbegin(), parts.rend()});
}

std::optional<size_t> arrayIndex(std::string_view part, size_t count, bool allowEnd) {
    if (allowEnd && part == "end") return count;
    size_t index = 0;
    auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), index);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size()) return std::nullopt;
    if (part.size() > 1 && part[0] == '0') return std::nullopt;
    if (index > count || (index == count && !allowEnd)) return std::nullopt;
    return index;
}

plist::Expected<EntryRef> resolveKeyPath(const EntryRef& root, const std::vector<std::string>& parts) {
    EntryRef e = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string at = i ? "\u201c" + joinKeyPath({parts.begin(), parts.begin() + i}) + "\u201d"
                                 : std::string("the root");
        const std::string missing =
            "key path \u201c" + joinKeyPath({parts.begin(), parts.begin() + i + 1}) + "\u201d not found: ";
        if (e->type() == EntryType::Dictionary) {
            EntryRef found;
            for (const EntryRef& c : e->child())
                if (c->key == parts[i]) {
                    found = c;
                    break;
                }
            if (!found)
                return plist::makeError(plist::Error::Kind::NotPropertyList,
                                        missing + "no key \u201c" + parts[i] +
                                            "\u201d in the Dictionary at " + at);
            e = found;
        } else if (e->type() == EntryType::Array) {
            auto index = arrayIndex(parts[i], e->childCount());
            if (!index)
                return plist::makeError(plist::Error::Kind::NotPropertyList,
                                        missing + "no item " + parts[i] + " in the Array at " + at + " (" +
                                            std::to_string(e->childCount()) + " items)");
            e = e->child()[*index];
        } else {
            return plist::makeError(plist::Error::Kind::NotPropertyList,
                                    missing + at + " is a " + std::string(typeName(e->type())) +
                                        ", which holds no \u201c" + parts[i] + "\u201d");
        }
    }
    return e;
}

} // namespace model
