#include "app/desktop/update_relay_form.h"

#include "platform/window_layout.h"

namespace pelvaro {

namespace sw = startup_window;

void UpdateRelayForm::setText(std::string_view control, const Text& value) {
  startup_.setText(control, value);
  if (control == sw::kUpdatePanel && listeners_.updatePanelText) listeners_.updatePanelText(value);
}

void UpdateRelayForm::setVisible(std::string_view control, bool value) {
  startup_.setVisible(control, value);
  if (control == sw::kOpenNewVersion && value && listeners_.openButtonShown) {
    listeners_.openButtonShown(startup_.text(sw::kOpenNewVersion));
  }
}

}  // namespace pelvaro
