# Build-time host defaults: the addresses on which the simulated platform listens when
# started with its default ports. Each can be replaced at run time by the environment
# variable PELVARO_<NAME> (see src/platform/hosts.h).
set(PlatformWebHost   "127.0.0.1:47801" CACHE STRING "Platform web interface and article pages (HTTPS)")
set(VendorApiHost     "127.0.0.1:47802" CACHE STRING "Collection and notification services")
set(VendorListHost    "127.0.0.1:47803" CACHE STRING "Category list file host")
set(UpdateHost1       "127.0.0.1:47804" CACHE STRING "First update host (also the announcement)")
set(UpdateHost2       "127.0.0.1:47805" CACHE STRING "Second update host")
set(UpdateHost3       "127.0.0.1:47806" CACHE STRING "Third update host")
set(QuoteServiceHost  "127.0.0.1:47807" CACHE STRING "Quote of the day service (HTTPS)")
set(SpeechServiceHost "127.0.0.1:47808" CACHE STRING "Speech service")
