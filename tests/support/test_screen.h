#pragma once
// The window tests' screen: 1920 × 1080 pixels, room for both windows' designs and for a main
// window a test enlarges. The offscreen platform's own screen is smaller than the start-up
// window's design, and windows fit the screen they open on. Call before the application object
// is made.

#include <QByteArray>
#include <QTemporaryFile>

namespace pelvaro::test {

inline void UseTestScreen() {
  // Windows never reach a screen in tests, test discovery included.
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && platform != "offscreen") return;
  static QTemporaryFile config;
  if (!config.open()) return;
  config.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1080}]})");
  config.flush();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toUtf8());
}

}  // namespace pelvaro::test
