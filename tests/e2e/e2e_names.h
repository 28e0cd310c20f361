#pragma once
// The names every end-to-end test uses: the simulator as a child process, a port that refuses
// connections, the files a run left below a folder, and the main window's controls.

#include <filesystem>

#include "platform/window_layout.h"
#include "support/refused_port.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {

using testing::FilesBelow;
using testing::RefusedPort;
using testing::SimProcess;
namespace fs = std::filesystem;
namespace mw = main_window;

}  // namespace pelvaro::e2e
