// vantrel-cli convert: writes a property list in another format, or JSON in either direction.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "model/Json.h"
#include "platform/file/AtomicFile.h"
#include "platform/plist/PropertyList.h"

namespace cli {

namespace {

constexpr const char* kConvertHelp =
    "usage: vantrel-cli convert [--from json] --to xml|binary|json [--typed] IN -o OUT\n"
    "\n"
    "Loads IN (an XML or binary property list) exactly as an editor window does and writes it to OUT as the\n"
    "editor saves it. OUT is replaced atomically; \"-\" stands for standard input and output. Exit status 1\n"
    "when IN cannot be opened or OUT cannot be written; a document holding a value that XML cannot store is\n"
    "not written as XML.\n"
    "\n"
    "--to json writes the plain JSON mapping; reals and dates JSON cannot hold (inf, nan) are refused with\n"
    "their key path. --typed writes and reads the typed form, which keeps every type and value exactly\n"
    "($date, $data, $real, $uid and $dict objects; see the README). --from json reads JSON instead.\n";

// Loads a document on a thread of its own and, when standard error is a terminal and the load takes more
// than a second, shows how far it has come there, as the editor's window does.
model::LoadOutcome loadShowingProgress(model::PlistDocument& doc) {
    if (!::isatty(STDERR_FILENO)) return doc.openPlistFile();
    model::LoadProgress progress;
    std::future<model::LoadOutcome> outcome =
        std::async(std::launch::async, [&] { return doc.openPlistFile(&progress); });
    bool shown = false;
    for (int tenths = 0; outcome.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready;) {
        if (++tenths < 10) continue;
        const uint64_t total = progress.total.load(std::memory_order_relaxed);
        const uint64_t done = std::min(progress.done.load(std::memory_order_relaxed), total);
        const bool reading = progress.phase.load(std::memory_order_relaxed) == model::LoadProgress::Reading;
        std::fprintf(stderr, "\r\033[K%s", reading ? "Reading the file" : "Building entries");
        if (total)
            std::fprintf(stderr, "\u2026 %d%%", int(done * 100 / total));
        else
            std::fputs("\u2026", stderr);
        shown = true;
    }
    if (shown) std::fputs("\r\033[K", stderr);
    return outcome.get();
}

int fromJson(const std::string& in, const std::string& to, bool typed, const std::string& out) {
    auto text = readInput(in);
    if (!text) return refuse(in + ": " + text.error().message);
    auto value = model::readJson(*text, {.typed = typed});
    if (!value) return refuse(in + ": " + value.error().message);
    *text = std::string();
    if (to == "json") {
        auto json = model::writeJson(*value, {.typed = typed});
        return json ? (writeOutput(out, *json) ? 0 : kRefused) : refuse(json.error().message);
    }
    auto binary = plist::serialize(*value, plist::Format::Binary);
    if (!binary) return refuse(binary.error().message);
    if (to == "binary") return writeOutput(out, *binary) ? 0 : kRefused;
    *value = plist::Value();
    model::PlistDocument doc;
    if (auto loaded = doc.openPlistData(std::move(*binary)); !loaded.ok) return refuse(loaded.reason);
    auto xml = documentBytes(doc, "xml");
    return xml && writeOutput(out, *xml) ? 0 : kRefused;
}

// The plain or typed JSON of a property list, from the services' values: no entry tree is built.
int toJson(const std::string& in, bool typed, const std::string& out) {
    auto bytes = readInput(in);
    if (!bytes) return refuse(in + ": " + bytes.error().message);
    auto json = model::propertyListToJson(*bytes, {.typed = typed});
    if (!json && json.error().kind != plist::Error::Kind::Unrepresentable) {
        if (json.error().kind == plist::Error::Kind::NoMemory) return refuse(json.error().message);
        std::cerr << model::kLoadFailureMessage << "\n" << in << ": " << json.error().message << "\n";
        return kRefused;
    }
    if (!json) return refuse(json.error().message);
    *bytes = std::string();
    return writeOutput(out, *json) ? 0 : kRefused;
}

} // namespace

int runConvert(const Args& args) {
    if (wantsHelp(args)) return std::cout << kConvertHelp, 0;
    const CommandLine line = parseCommandLine(args, {"--typed"}, {"-o", "--to", "--from"});
    if (!line.error.empty()) return usageError(line.error, kConvertHelp);
    const std::string to = line.value("--to").value_or("");
    const auto from = line.value("--from");
    if (to.empty()) return usageError("--to must be xml, binary or json", kConvertHelp);
    if (from && *from != "json") return usageError("--from takes only json", kConvertHelp);
    if (line.arguments.size() > 1) return usageError("more than one input file", kConvertHelp);
    if (line.arguments.empty() || !line.value("-o"))
        return usageError("convert needs IN and -o OUT", kConvertHelp);
    const std::string& in = line.arguments[0];
    const std::string out = *line.value("-o");
    const bool typed = line.has("--typed");
    if (from) return fromJson(in, to, typed, out);
    if (to == "json") return toJson(in, typed, out);

    std::optional<LoadedDocument> loaded;
    if (in == "-") {
        loaded = loadDocument(in);
        if (!loaded) return kRefused;
    } else {
        loaded.emplace();
        loaded->doc.setURL(in);
        model::LoadOutcome outcome = loadShowingProgress(loaded->doc);
        if (!outcome.ok) {
            if (outcome.reason == plist::kNotEnoughMemory) return refuse(outcome.reason);
            std::cerr << model::kLoadFailureMessage << "\n" << in << ": " << outcome.reason << "\n";
            return kRefused;
        }
    }
    if (out != "-" && (to == "xml" || to == "binary")) {
        // Written into the file as the writer makes it, never held whole.
        const model::PlistDocument& doc = loaded->doc;
        auto written = platform::writeFileAtomically(out, [&](const platform::ByteSink& sink) {
            return to == "xml" ? doc.writePlistString(sink) : doc.writeBinaryData(sink);
        });
        if (!written) return refuse(written.error().message);
        leaveToExit(std::move(*loaded));
        return 0;
    }
    auto bytes = documentBytes(loaded->doc, to);
    return bytes && writeOutput(out, *bytes) ? 0 : kRefused;
}

} // namespace cli
