// File names between Qt and the file system. Linux names are bytes; Qt's own conversion reads them as UTF-8
// and turns every byte that is not UTF-8 into U+FFFD, so such a file could be neither opened nor saved again.
// Here each such byte travels inside the QString as U+DC80 + byte (a code that valid text never holds, since
// a lone low surrogate is no character) and becomes the same byte again on the way out.
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

namespace platform {

// The file system's bytes as a name: valid UTF-8 read as such, every other byte as U+DC80 + byte.
QString decodeFileName(std::string_view bytes);
// The bytes of a name made by decodeFileName (or typed by the user) for the file system.
std::string encodeFileName(const QString& name);
// The name as shown to the user: each carried byte as U+FFFD.
QString displayFileName(const QString& name);
// Whether the name carries no byte, so that its bytes are valid UTF-8 and it can be stored as text.
bool isTextFileName(const QString& name);

// The absolute, cleaned form of a path (relative ones from the working folder), links kept.
QString absoluteFileName(const QString& path);
// The path with every link and "." or ".." resolved; empty when the file does not exist.
QString canonicalFileName(const QString& path);

// The program's arguments from the raw argv, the first (the program) left out.
QStringList argumentsOf(int argc, char** argv);

} // namespace platform
