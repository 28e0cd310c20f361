#include "ui/qt_text.h"

#include <QFile>

namespace pelvaro {

QString QtFromGbk(std::string_view gbk) { return QString::fromStdU16String(GbkToUtf16(gbk)); }

Text GbkFromQt(const QString& text) { return Utf16ToGbk(text.toStdU16String()); }

QString QtFromUtf8(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8FromQt(const QString& text) { return text.toStdString(); }

QString QtFromPath(const Path& path) { return QFile::decodeName(QByteArray::fromStdString(path.bytes())); }

Path PathFromQt(const QString& path) { return Path(QFile::encodeName(path).toStdString()); }

QString QtLinesFromGbk(std::string_view gbk) {
  QString text = QtFromGbk(gbk);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

Text GbkLinesFromQt(const QString& text) {
  QString lines = text;
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return GbkFromQt(lines);
}

}  // namespace pelvaro
