#pragma once

namespace pelvaro {

// Makes waits on the calling (GUI) thread run a local event loop for their duration, so the
// windows stay responsive while start-up steps pause. Call once on the GUI thread.
void InstallQtGuiWaitHook();

}  // namespace pelvaro
