// pelvaro-collector: the desktop program. The start-up window comes first; one second later its
// timer runs the start-up sequence, which hands over to the main window.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "app/desktop/desktop_program.h"
#include "app/desktop/end_process.h"
#include "app/desktop/test_automation.h"
#include "platform/data_folder.h"
#include "shell/bug_report.h"
#include "ui/gui_wait.h"
#include "ui/qt_text.h"

namespace {

// The fatal-error report's message: modal, no owner, OK only, no icon.
void ShowFatalMessage(const pelvaro::Text& message, const pelvaro::Text& title) {
  QMessageBox box;
  box.setIcon(QMessageBox::NoIcon);
  box.setWindowTitle(pelvaro::QtFromGbk(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(pelvaro::QtFromGbk(message));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelvaro;
  // A re-executed run that only reports the fatal error of the run before it.
  if (argc > 1 && std::string_view(argv[1]) == kFatalReportSwitch) {
    QApplication app(argc, argv);
    return RunFatalReportIfRequested(argc, argv, ShowFatalMessage).value_or(0);
  }
  if (const DataFolderChoice data = ChooseDataFolder(); !data.error.empty()) {
    std::fprintf(stderr, "pelvaro-collector: %s\n", data.error.c_str());
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelvaro-collector.png")));
  // The program ends through its own paths (closing the main window, 关闭软件), never because
  // its last visible window went away: the start-up window hides at the hand-over.
  QApplication::setQuitOnLastWindowClosed(false);
  InstallQtGuiWaitHook();

  DesktopOptions options;
  DesktopProgram* running = nullptr;
  if (const char* script = std::getenv(kTestAutomationVariable.data())) {
    options.afterHandOver = [&running, steps = ParseAutomation(script)] {
      if (running != nullptr) RunAutomation(*running, steps);
    };
  }
  DesktopProgram program(std::move(options));
  running = &program;
  const int code = QApplication::exec();
  // Workers may still run: end without destructors, as every other ending does.
  EndOwnProcess(code);
}
