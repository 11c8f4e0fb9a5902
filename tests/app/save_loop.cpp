// save_loop: saves one document over and over, as the editor saves, until it is killed.
//
//   save_loop SOURCE TARGET            loads SOURCE, then writes TARGET again and again: version A (the
//   marker
//                                      entry "A", as XML), then version B (marker "B", binary), and so on;
//                                      prints "ready" once loaded and "saved N" after each write
//   save_loop SOURCE --expected DIR    writes the two versions to DIR/A and DIR/B once, and ends
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

// The bytes of version A or B: the marker set, then the document written in that version's format.
plist::Expected<std::string> version(model::PlistDocument& doc, const model::EntryRef& marker, bool b) {
    marker->setValue(std::string(b ? "B" : "A"));
    return b ? doc.binaryData() : doc.plistString();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::strcmp(argv[2], "--expected") == 0))
        return fail("usage: save_loop SOURCE TARGET | save_loop SOURCE --expected DIR");
    model::PlistDocument doc(argv[1]);
    model::LoadOutcome loaded = doc.openPlistFile();
    if (!loaded.ok) return fail("cannot load " + std::string(argv[1]) + ": " + loaded.reason);
    model::EntryRef root = doc.root();
    if (root->type() != model::EntryType::Dictionary) return fail("the document's root is not a Dictionary");
    model::EntryRef marker = model::Entry::make("saveLoopMarker", model::EntryType::String, std::string());
    root->appendChild(marker);

    if (argc == 4) {
        const std::string dir = argv[3];
        for (bool b : {false, true}) {
            auto bytes = version(doc, marker, b);
            if (!bytes) return fail(bytes.error().message);
            auto written = platform::writeFileAtomically(dir + (b ? "/B" : "/A"), *bytes);
            if (!written) return fail(written.error().message);
        }
        return 0;
    }

    std::printf("ready\n");
    std::fflush(stdout);
    for (unsigned long n = 0;; ++n) {
        auto bytes = version(doc, marker, n % 2 == 1);
        if (!bytes) return fail(bytes.error().message);
        auto written = platform::writeFileAtomically(argv[2], *bytes);
        if (!written) return fail(written.error().message);
        std::printf("saved %lu\n", n + 1);
        std::fflush(stdout);
    }
}
