// Shared helpers of the model and command-line tests: temporary folders, files, tree dumps, python3.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "model/Entry.h"
#include "model/PlistDocument.h"

namespace model::test {

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir() {
        std::string pattern = "/tmp/vantrel-test-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// The message of a save refused for a value that XML cannot hold at this key path.
inline std::string unrepresentable(const std::string& keyPath) {
    std::string_view m = kUnrepresentableMessage;
    size_t at = m.find("%@");
    return std::string(m.substr(0, at)) + keyPath + std::string(m.substr(at + 2));
}

// A tree as text, one line an entry: the keys of dictionary entries, types and values told fully apart (the
// kind of a number, every bit of a real or a date, every byte). With wholeSecondDates, dates lose their
// fraction of a second.
inline std::string dump(const Entry& e, bool wholeSecondDates = false, const std::string& indent = "") {
    auto exact = [](double d) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%a", d);
        return std::isnan(d) ? std::string("nan") : std::string(buf);
    };
    std::string out = indent + std::string(typeName(e.type())) + " ";
    if (e.isContainer()) {
        for (const EntryRef& c : e.child()) {
            if (e.type() == EntryType::Dictionary) out.append("\n").append(indent).append("[" + c->key + "]");
            out.append("\n").append(dump(*c, wholeSecondDates, indent + "  "));
        }
    } else if (auto n = std::get_if<Number>(&e.value())) {
        out += n->isReal ? "real " + exact(n->real) : "integer " + n->integer.toString();
    } else if (auto d = std::get_if<plist::Date>(&e.value())) {
        out += exact(wholeSecondDates && std::isfinite(d->seconds) ? std::floor(d->seconds) : d->seconds);
    } else if (auto b = std::get_if<Data>(&e.value())) {
        for (uint8_t byte : *b) {
            out += "0123456789abcdef"[byte >> 4];
            out += "0123456789abcdef"[byte & 15];
        }
    } else if (auto t = std::get_if<bool>(&e.value())) {
        out += *t ? "true" : "false";
    } else {
        out.append("\"").append(e.stringValue()).append("\"");
    }
    return out;
}

inline bool hasPython3() {
    return std::system("python3 -c 'import plistlib' >/dev/null 2>&1") == 0;
}

// Runs a python3 script with arguments (paths without quotes); gives its exit status.
inline int runPython(const std::string& script, const std::vector<std::string>& args) {
    std::string command = "python3 -";
    for (const auto& a : args)
        command += " '" + a + "'";
    int status = std::system((command + " <<'END_OF_SCRIPT'\n" + script + "\nEND_OF_SCRIPT\n").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace model::test
