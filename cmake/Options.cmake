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
