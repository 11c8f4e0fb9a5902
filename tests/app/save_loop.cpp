// save_loop: saves one document over and over, as the editor saves, until it is killed.
//
//   save_loop SOURCE TARGET           loads SOURCE, then writes TARGET again and again: version A (the marker
//                                     entry "A", as XML), then version B (marker "B", binary), and so on;
//                                     prints "ready" once loaded and "saved N" after each write
//   save_loop SOURCE --expected DIR   writes the two versions to DIR/A and DIR/B once, and ends
//
// The marker is a String entry of the root, "saveLoopMarker", added after the load; every save changes it
// first, so every save builds its bytes anew from the entry tree.
#include <cstdio>
#include <cstring>
#include <string>

#include "model/PlistDocument.h"
#include "platform/file/AtomicFile.h"

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "save_loop: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const bool expected = argc == 4 && std::strcmp(argv[2], "--expected") == 0;
    if (argc != 3 && !expected)
        return fail("usage: save_loop SOURCE TARGET | save_loop SOURCE --expected DIR");
    model::PlistDocument doc(argv[1]);
    model::LoadOutcome loaded = doc.openPlistFile();
    if (!loaded.ok) return fail("cannot load " + std::string(argv[1]) + ": " + loaded.reason);
    model::EntryRef root = doc.root();
    if (root->type() != model::EntryType::Dictionary) return fail("the document's root is not a Dictionary");
    model::EntryRef marker = model::Entry::make("saveLoopMarker", model::EntryType::String, std::string());
    root->appendChild(marker);

    // Save n writes version A for even n, version B for odd n; gives what went wrong, or nothing.
    auto save = [&](unsigned long n, const std::string& path) {
        marker->setValue(std::string(n % 2 ? "B" : "A"));
        plist::Expected<std::string> bytes = n % 2 ? doc.binaryData() : doc.plistString();
        if (!bytes) return bytes.error().message;
        auto written = platform::writeFileAtomically(path, *bytes);
        return written ? std::string() : written.error().message;
    };
    if (expected) {
        for (unsigned long n : {0ul, 1ul})
            if (std::string why = save(n, argv[3] + std::string(n ? "/B" : "/A")); !why.empty())
                return fail(why);
        return 0;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (unsigned long n = 0;; ++n) {
        if (std::string why = save(n, argv[2]); !why.empty()) return fail(why);
        std::printf("saved %lu\n", n + 1);
        std::fflush(stdout);
    }
}
