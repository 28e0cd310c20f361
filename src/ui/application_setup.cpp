#include "ui/application_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>

namespace pelvaro {

bool PrepareApplication() {
  std::setlocale(LC_NUMERIC, "C");
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  auto* loaded = new QTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(loaded)) {
    delete loaded;
    return false;
  }
  translator = loaded;
  return true;
}

}  // namespace pelvaro
