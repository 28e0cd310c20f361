#pragma once

namespace pelvaro {

// Ends this process at once with `code`, after flushing the standard streams. No destructor,
// no clean-up routine and no thread join runs: workers are cut off wherever they are. Only the
// program's own process is ended, never another one.
[[noreturn]] void EndOwnProcess(int code);

}  // namespace pelvaro
