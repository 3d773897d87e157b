# Project-wide compile settings are applied per target through this interface
# library, never through directory-wide flags.
add_library(varnoke_options INTERFACE)
target_compile_options(varnoke_options INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports std::string concatenation inside its own headers as
# overlapping memcpy at -O2 (GCC bug 105329); the warning says nothing about
# this code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(varnoke_options INTERFACE -Wno-restrict)
endif()
if(VARNOKE_WERROR)
  target_compile_options(varnoke_options INTERFACE -Werror)
endif()
if(VARNOKE_FUZZ)
  # Coverage for libFuzzer in every library the fuzz targets link.
  target_compile_options(varnoke_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(VARNOKE_TSAN)
  target_compile_options(varnoke_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(varnoke_options INTERFACE -fsanitize=thread)
endif()
if(VARNOKE_SANITIZE)
  target_compile_options(varnoke_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(varnoke_options INTERFACE -fsanitize=address,undefined)
endif()
