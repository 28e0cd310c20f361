#pragma once
// Text crossing the edge between the program's GBK texts and Qt's UTF-16 strings.

#include <QString>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

QString QtFromGbk(std::string_view gbk);
Text GbkFromQt(const QString& text);
QString QtFromUtf8(std::string_view utf8);

// Multi-line controls: the program's texts break lines with CR LF, Qt's with LF alone.
QString QtLinesFromGbk(std::string_view gbk);
Text GbkLinesFromQt(const QString& text);

}  // namespace pelvaro
