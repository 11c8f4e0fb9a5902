// Shared helpers of the model and command-line tests: temporary folders, files, tree comparison, python3.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "model/Entry.h"
#include "model/PlistDocument.h"
#include "platform/plist/XmlWriter.h"

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
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The message of a save refused for a value that XML cannot hold at this key path.
inline std::string unrepresentable(const std::string& keyPath) {
    std::string_view m = kUnrepresentableMessage;
    size_t at = m.find("%@");
    return std::string(m.substr(0, at)) + keyPath + std::string(m.substr(at + 2));
}

// Compares two trees: types, keys, values and order. With wholeSecondDates, the second tree's dates are
// the first's without their fraction of a second.
inline ::testing::AssertionResult sameTree(const Entry& a, const Entry& b, bool wholeSecondDates = false,
                                           const std::string& where = "Root") {
    auto differ = [&](const char* what) {
        return ::testing::AssertionFailure() << where << ": the " << what << " differs";
    };
    if (a.type() != b.type() || a.isContainer() != b.isContainer()) return differ("type");
    if (a.isContainer()) {
        if (a.childCount() != b.childCount()) return differ("number of children");
        bool dict = a.type() == EntryType::Dictionary;
        for (size_t i = 0; i < a.childCount(); ++i) {
            const Entry &x = *a.child()[i], &y = *b.child()[i];
            std::string at = where + " \u203a " + (dict ? x.key : "Item " + std::to_string(i));
            if (dict && x.key != y.key)
                return ::testing::AssertionFailure() << at << ": key \"" << y.key << '"';
            if (auto r = sameTree(x, y, wholeSecondDates, at); !r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    bool same;
    if (a.type() == EntryType::Number) {
        const Number &m = a.numberValue(), &n = b.numberValue();
        bool sameReal = std::isnan(m.real) ? std::isnan(n.real)
                                           : m.real == n.real && std::signbit(m.real) == std::signbit(n.real);
        same = m.isReal == n.isReal && (m.isReal ? sameReal : m.integer == n.integer);
    } else if (a.type() == EntryType::Date) {
        double s = a.dateValue().seconds;
        same = plist::Date{wholeSecondDates && std::isfinite(s) ? std::floor(s) : s} == b.dateValue();
    } else if (a.type() == EntryType::Boolean) {
        same = a.boolValue() == b.boolValue();
    } else if (a.type() == EntryType::Data) {
        same = a.dataValue() == b.dataValue();
    } else {
        same = a.stringValue() == b.stringValue();
    }
    return same ? ::testing::AssertionSuccess() : differ("value");
}

inline size_t countEntries(const Entry& e) {
    size_t n = 1;
    if (e.isContainer())
        for (const auto& c : e.child())
            n += countEntries(*c);
    return n;
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
