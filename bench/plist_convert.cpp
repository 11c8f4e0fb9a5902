// Converts a property-list file to XML or binary with the services alone: read, parse, serialize, write.
// bench/compare-peers times it against other converters.
//
// Usage: plist_convert IN --to xml|binary -o OUT
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <fstream>
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

    // As the editor's own tools do: keep freed memory in the heap for the next phase.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);

    std::FILE* file = std::fopen(in, "rb");
    if (!file) {
        std::fprintf(stderr, "plist_convert: cannot open %s\n", in);
        return 1;
    }
    std::string bytes;
    char chunk[1 << 16];
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        if (size > 0) bytes.reserve(size_t(size));
        std::rewind(file);
    }
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, n);
    std::fclose(file);
    plist::Expected<std::string> text = std::string();
    if (format == plist::Format::Xml) {
        // XML is written as the input is read, without a value tree in between.
        auto converted = plist::parseToXmlText(bytes, {});
        if (!converted) {
            std::fprintf(stderr, "plist_convert: %s: %s\n", in, converted.error().message.c_str());
            return 1;
        }
        text = std::move(converted->text);
    } else {
        auto parsed = plist::parse(bytes);
        bytes = std::string();
        if (!parsed) {
            std::fprintf(stderr, "plist_convert: %s: %s\n", in, parsed.error().message.c_str());
            return 1;
        }
        text = plist::serialize(parsed->value, format);
    }
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
