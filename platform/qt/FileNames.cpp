#include "FileNames.h"

#include <QDir>

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace platform {
namespace {

constexpr char16_t kFirstCarriedByte = 0xDC80; // carries byte 0x80; 0xDCFF carries 0xFF

// The length of the valid UTF-8 sequence at the start of s (no overlong forms, no surrogates, nothing above
// U+10FFFF), or 0.
size_t utf8SequenceLength(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || s.size() < n) return 0;
    // The second byte's range depends on the first (Unicode's table of well-formed sequences).
    const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (b(1) < low || b(1) > high) return 0;
    for (size_t i = 2; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80) return 0;
    return n;
}

// Whether the code at i carries a byte: U+DC80 to U+DCFF, not the second half of a surrogate pair.
bool isCarriedByte(const QString& name, qsizetype i) {
    const char16_t c = name[i].unicode();
    return c >= kFirstCarriedByte && c <= kFirstCarriedByte + 0x7F &&
           (i == 0 || !name[i - 1].isHighSurrogate());
}

} // namespace

QString decodeFileName(std::string_view bytes) {
    QString name;
    name.reserve(qsizetype(bytes.size()));
    size_t i = 0;
    while (i < bytes.size()) {
        size_t n = utf8SequenceLength(bytes.substr(i));
        if (n == 0) {
            name += QChar(char16_t(kFirstCarriedByte + static_cast<unsigned char>(bytes[i]) - 0x80));
            ++i;
            continue;
        }
        // Runs of valid text go through Qt's own decoder at once.
        size_t end = i + n;
        while (end < bytes.size() && (n = utf8SequenceLength(bytes.substr(end))) != 0)
            end += n;
        name += QString::fromUtf8(bytes.data() + i, qsizetype(end - i));
        i = end;
    }
    return name;
}

std::string encodeFileName(const QString& name) {
    std::string bytes;
    bytes.reserve(size_t(name.size()));
    qsizetype start = 0;
    auto flush = [&](qsizetype end) {
        bytes += QStringView(name).mid(start, end - start).toUtf8().toStdString();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isCarriedByte(name, i)) continue;
        flush(i);
        bytes += char(name[i].unicode() - kFirstCarriedByte + 0x80);
        start = i + 1;
    }
    flush(name.size());
    return bytes;
}

QString displayFileName(const QString& name) {
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (isCarriedByte(shown, i)) shown[i] = QChar::ReplacementCharacter;
    return shown;
}

bool isTextFileName(const QString& name) {
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isCarriedByte(name, i)) return false;
    return true;
}

QString absoluteFileName(const QString& path) {
    if (path.isEmpty()) return {};
    if (path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + path);
    return QDir::cleanPath(decodeFileName(cwd) + QLatin1Char('/') + path);
}

QString canonicalFileName(const QString& path) {
    if (path.isEmpty()) return {};
    char* resolved = ::realpath(encodeFileName(path).c_str(), nullptr);
    if (!resolved) return {};
    QString canonical = decodeFileName(resolved);
    std::free(resolved);
    return canonical;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << decodeFileName(argv[i]);
    return arguments;
}

} // namespace platform
