# One interface target carries the language standard, the warnings and the sanitizers;
# every target of the project links it.
add_library(pelvaro_options INTERFACE)
target_compile_features(pelvaro_options INTERFACE cxx_std_20)
target_compile_options(pelvaro_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
if(PELVARO_WERROR)
  target_compile_options(pelvaro_options INTERFACE -Werror)
endif()
if(PELVARO_SANITIZE)
  target_compile_options(pelvaro_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(pelvaro_options INTERFACE -fsanitize=address,undefined)
endif()
if(PELVARO_TSAN)
  target_compile_options(pelvaro_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(pelvaro_options INTERFACE -fsanitize=thread)
endif()
# Hardening, as Debian builds its packages: a stack protector, fortified C library calls (they
# need optimisation, and the sanitizers bring their own checks), position-independent
# executables and relocations made read-only and bound at start.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
target_compile_options(pelvaro_options INTERFACE -fstack-protector-strong -Wformat -Werror=format-security)
if(NOT PELVARO_SANITIZE AND NOT PELVARO_TSAN AND NOT PELVARO_BUILD_FUZZERS)
  target_compile_definitions(pelvaro_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
target_link_options(pelvaro_options INTERFACE -Wl,-z,relro -Wl,-z,now)
