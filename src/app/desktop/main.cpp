// pelvaro-collector: the desktop program. The start-up window comes first; one second later its
// timer runs the start-up sequence, which hands over to the main window.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

#include "app/desktop/desktop_program.h"
#include "app/desktop/end_process.h"
#ifdef PELVARO_TEST_AUTOMATION
#include "app/desktop/test_automation.h"
#endif
#include "platform/data_folder.h"
#include "shell/bug_report.h"
#include "ui/application_setup.h"
#include "ui/dialogs.h"
#include "ui/gui_wait.h"
#include "ui/qt_text.h"

namespace {

// The fatal-error report's message: no owner, OK only, no icon.
void ShowFatalMessage(const pelvaro::Text& message, const pelvaro::Text& title) {
  pelvaro::ShowMessageBox(nullptr, pelvaro::QtFromGbk(message), pelvaro::QtFromGbk(title), false);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelvaro;
  // A re-executed run that only reports the fatal error of the run before it.
  if (argc > 1 && std::string_view(argv[1]) == kFatalReportSwitch) {
    QApplication app(argc, argv);
    PrepareApplication();
    return RunFatalReportIfRequested(argc, argv, ShowFatalMessage).value_or(0);
  }
  if (const DataFolderChoice data = ChooseDataFolder(); !data.error.empty()) {
    std::fprintf(stderr, "pelvaro-collector: %s\n", data.error.c_str());
    return 2;
  }

  QApplication app(argc, argv);
  PrepareApplication();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelvaro-collector.png")));
  // The program ends through its own paths (closing the main window, 关闭软件), never because
  // its last visible window went away: the start-up window hides at the hand-over.
  QApplication::setQuitOnLastWindowClosed(false);
  InstallQtGuiWaitHook();

  DesktopOptions options;
#ifdef PELVARO_TEST_AUTOMATION
  DesktopProgram* running = nullptr;
  if (const char* script = std::getenv(kTestAutomationVariable.data())) {
    options.afterHandOver = [&running, steps = ParseAutomation(script)] {
      if (running != nullptr) RunAutomation(*running, steps);
    };
  }
  DesktopProgram program(std::move(options));
  running = &program;
#else
  DesktopProgram program(std::move(options));
#endif
  const int code = QApplication::exec();
  // Workers may still run: end without destructors, as every other ending does.
  EndOwnProcess(code);
}
