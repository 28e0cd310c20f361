#pragma once
// Text crossing the edge between the program's GBK texts and Qt's UTF-16 strings.

#include <QString>
#include <string_view>

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

QString QtFromGbk(std::string_view gbk);
Text GbkFromQt(const QString& text);
QString QtFromUtf8(std::string_view utf8);
std::string Utf8FromQt(const QString& text);

// Paths cross as the file system names them (local 8-bit, UTF-8 on Linux), never through GBK.
QString QtFromPath(const Path& path);
Path PathFromQt(const QString& path);

// Multi-line controls: the program's texts break lines with CR LF, Qt's with LF alone.
QString QtLinesFromGbk(std::string_view gbk);
Text GbkLinesFromQt(const QString& text);

}  // namespace pelvaro
