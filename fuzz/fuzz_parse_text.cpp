// parseText and parseElement on arbitrary text. For UTF-8 text, parseElement reads every element parseText
// reads, to the same value (its own forms are a shortcut, never a different reading), in both modes, and
// makes well-formed strings.
#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = fuzz::bytesOf(data, size);
    auto whole = plist::parseText(text);
    if (whole) fuzz::checkValue(*whole);
    bool utf8 = fuzz::wellFormed(text) && text.find('\0') == std::string_view::npos; // not UTF-16 either
    for (bool exact : {false, true}) {
        auto line = plist::parseElement(text, exact);
        if (!line) fuzz::checkError(line.error(), size);
        if (!utf8) continue;
        if (whole) fuzz::require(line.ok() && *line == *whole, "parseElement differs from parseText");
        if (line)
            fuzz::require(fuzz::stringsWellFormed(*line),
                          "parseElement made a string that is not well-formed");
    }
    return 0;
}
