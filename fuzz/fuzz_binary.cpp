// The binary reader: every input gets "bplist00" in front, so that no byte is spent finding the format.
#include <string>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = "bplist00";
    bytes.append(fuzz::bytesOf(data, size));
    auto parsed = plist::parse(bytes);
    if (!parsed) {
        fuzz::checkError(parsed.error(), bytes.size());
        return 0;
    }
    fuzz::require(parsed->format == plist::Format::Binary, "a bplist00 file read as another format");
    fuzz::checkValue(parsed->value);
    return 0;
}
