#include "app/desktop/end_process.h"

#include <unistd.h>

#include <cstdio>

namespace pelvaro {

void EndOwnProcess(int code) {
  std::fflush(nullptr);
  _exit(code);
}

}  // namespace pelvaro
