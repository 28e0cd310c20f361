#pragma once

namespace pelvaro {

// Initialises libcurl for the process once; every user of an easy handle calls it first.
void EnsureCurlInitialised();

}  // namespace pelvaro
