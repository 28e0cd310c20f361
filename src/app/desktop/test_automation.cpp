#include "app/desktop/test_automation.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/desktop/desktop_program.h"
#include "platform/text.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/startup_window.h"

namespace pelvaro {
namespace {

void Perform(DesktopProgram& program, const AutomationStep& step) {
  MainWindow* main = program.mainWindow();
  if (main == nullptr) return;
  const QString name = QtFromUtf8(step.name);
  if (step.verb == "click") {
    auto* button = main->findChild<QAbstractButton*>(name);
    if (button == nullptr) button = program.startupWindow().findChild<QAbstractButton*>(name);
    if (button != nullptr) button->click();
  } else if (step.verb == "set") {
    main->form().setText(step.name, Utf8ToGbk(step.value));
  } else if (step.verb == "check") {
    main->form().setChecked(step.name, step.value == "1");
  } else if (step.verb == "page") {
    if (auto* tabs = main->findChild<QTabWidget*>(name)) tabs->setCurrentIndex(std::atoi(step.value.c_str()));
  } else if (step.verb == "close") {
    main->close();
  } else {
    std::fprintf(stderr, "pelvaro-collector: unknown automation step '%s'\n", step.verb.c_str());
  }
}

void RunFrom(DesktopProgram& program, std::shared_ptr<std::vector<AutomationStep>> steps, std::size_t next) {
  if (next >= steps->size()) return;
  const AutomationStep& step = (*steps)[next];
  if (step.verb == "wait") {
    QTimer::singleShot(std::atoi(step.name.c_str()), &program.startupWindow(),
                       [&program, steps, next] { RunFrom(program, steps, next + 1); });
    return;
  }
  QTimer::singleShot(0, &program.startupWindow(), [&program, steps, next] {
    Perform(program, (*steps)[next]);
    RunFrom(program, steps, next + 1);
  });
}

}  // namespace

std::vector<AutomationStep> ParseAutomation(std::string_view script) {
  std::vector<AutomationStep> steps;
  while (!script.empty()) {
    std::size_t end = script.find(';');
    std::string_view item = script.substr(0, end);
    script = end == std::string_view::npos ? std::string_view{} : script.substr(end + 1);
    if (item.empty()) continue;
    AutomationStep step;
    std::size_t colon = item.find(':');
    step.verb = std::string(item.substr(0, colon));
    if (colon != std::string_view::npos) {
      std::string_view rest = item.substr(colon + 1);
      std::size_t equals = rest.find('=');
      step.name = std::string(rest.substr(0, equals));
      if (equals != std::string_view::npos) step.value = std::string(rest.substr(equals + 1));
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

void RunAutomation(DesktopProgram& program, std::vector<AutomationStep> steps) {
  RunFrom(program, std::make_shared<std::vector<AutomationStep>>(std::move(steps)), 0);
}

}  // namespace pelvaro
