#pragma once
// A switch for tests and screenshots, not for users: PELVARO_TEST_AUTOMATION holds steps
// separated by ";" that the program performs on its own windows right after the hand-over, in
// order, each from the event loop as a user's action would arrive:
//   click:NAME      clicks the button NAME (main window first, then the start-up window)
//   set:NAME=VALUE  sets the edit box NAME of the main window to VALUE (UTF-8)
//   check:NAME=0|1  clears or checks the check box NAME of the main window
//   page:NAME=N     shows page N (from 0) of the tab control NAME of the main window
//   wait:MS         lets MS milliseconds pass before the next step
//   close           closes the main window as its frame's close button does
// An unknown step is skipped with a line on stderr.

#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

class DesktopProgram;

inline constexpr std::string_view kTestAutomationVariable = "PELVARO_TEST_AUTOMATION";

struct AutomationStep {
  std::string verb;   // click, set, check, page, wait, close
  std::string name;   // control name (UTF-8)
  std::string value;  // for set, check and page
};

// The steps of a script; empty steps are dropped.
std::vector<AutomationStep> ParseAutomation(std::string_view script);

// Performs the steps on the program's windows, one per turn of the event loop.
void RunAutomation(DesktopProgram& program, std::vector<AutomationStep> steps);

}  // namespace pelvaro
