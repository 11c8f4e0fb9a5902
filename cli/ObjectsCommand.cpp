#include "ObjectsCommand.h"

#include <cstdio>
#include <iostream>

#include "model/KeyedArchive.h"
#include "model/ValueText.h"

int printObjects(const model::PlistDocument& doc, const std::string& file, const std::string& objectPath) {
    if (!model::KeyedArchive::isKeyedArchive(*doc.root())) {
        std::cerr << "vantrel-cli: " << file << ": not a keyed archive (no $archiver and $objects)\n";
        return 1;
    }
    model::KeyedArchive archive(doc.root());
    std::string missing;
    model::ArchiveNode* node = archive.find(objectPath, &missing);
    if (!node) {
        std::cerr << "vantrel-cli: " << file << ": no object \"" << missing << "\" in the path " << objectPath
                  << "\n";
        return 1;
    }
    const std::string out = objectPath.empty() || node->expandable()
                                ? archive.printed(node)
                                : model::withVisibleMarks(archive.valueText(*node)) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
