// plist::parse on arbitrary bytes: no crash, and whatever it reads survives the writers (binary exactly,
// published XML up to its documented losses, exact XML element by element).
#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto parsed = plist::parse(fuzz::bytesOf(data, size));
    if (!parsed) {
        fuzz::checkError(parsed.error(), size);
        return 0;
    }
    fuzz::checkValue(parsed->value);
    return 0;
}
