// Converts a property-list file to XML or binary with the services alone: read, parse, serialize, write.
// bench/compare-peers times it against other converters.
//
// Usage: plist_convert IN --to xml|binary -o OUT
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/plist/PropertyList.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: plist_convert IN --to xml|binary -o OUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* in = nullptr;
    const char* out = nullptr;
    const char* to = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--to") == 0 && i + 1 < argc) {
            to = argv[++i];
        } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else if (!in && argv[i][0] != '-') {
            in = argv[i];
        } else {
            return usage();
        }
    }
    if (!in || !out || !to) return usage();
    plist::Format format;
    if (std::strcmp(to, "xml") == 0) {
        format = plist::Format::Xml;
    } else if (std::strcmp(to, "binary") == 0) {
        format = plist::Format::Binary;
    } else {
        return usage();
    }

    std::ifstream file(in, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "plist_convert: cannot open %s\n", in);
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto parsed = plist::parse(bytes);
    if (!parsed) {
        std::fprintf(stderr, "plist_convert: %s: %s\n", in, parsed.error().message.c_str());
        return 1;
    }
    auto text = plist::serialize(parsed->value, format);
    if (!text) {
        std::fprintf(stderr, "plist_convert: %s\n", text.error().message.c_str());
        return 1;
    }
    std::ofstream output(out, std::ios::binary | std::ios::trunc);
    output.write(text->data(), std::streamsize(text->size()));
    output.close();
    if (!output) {
        std::fprintf(stderr, "plist_convert: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
