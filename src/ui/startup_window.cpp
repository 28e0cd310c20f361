#include "ui/startup_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#include "platform/window_layout.h"
#include "ui/qt_text.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

namespace sw = startup_window;

constexpr int kTimerDesignIntervalMs = 1000;

}  // namespace

StartupWindow::StartupWindow(Events events) : events_(std::move(events)) {
  BuildWindow(*this, StartupWindowDesign());
  form_ = std::make_unique<QtForm>(this, StartupWindowDesign());

  auto bindClick = [this](std::string_view name, Hook Events::*member) {
    if (auto* button = findChild<QAbstractButton*>(QtFromUtf8(name))) {
      connect(button, &QAbstractButton::clicked, this, [this, member] { fire(events_.*member); });
    }
  };
  bindClick(sw::kSpeakButton, &Events::speakClicked);
  bindClick(sw::kHelpButton, &Events::helpClicked);
  bindClick(sw::kCloseButton, &Events::closeClicked);
  bindClick(sw::kOpenNewVersion, &Events::openNewVersionClicked);

  if (auto* timer = findChild<QTimer*>(QtFromUtf8(sw::kTimer))) {
    connect(timer, &QTimer::timeout, this, [this] { fire(events_.timerTick); });
    timer->start(kTimerDesignIntervalMs);
  }
  fire(events_.created);
}

StartupWindow::~StartupWindow() = default;

void StartupWindow::fire(const Hook& hook) {
  if (hook) hook(*this);
}

void StartupWindow::closeEvent(QCloseEvent* event) {
  fire(events_.closing);
  event->accept();
}

void StartupWindow::keyPressEvent(QKeyEvent* event) {
  // The caption tells the user that Esc closes the program.
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace pelvaro
