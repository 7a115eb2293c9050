# Sanitizer and fuzzer builds. Included before any target is made, so the
# flags reach every target of the tree, the tests and the server included:
# a report from any process the tests start then counts.

set(SKELLAN_SANITIZE "" CACHE STRING
    "Build everything under a sanitizer: address (with undefined) or thread")
set_property(CACHE SKELLAN_SANITIZE PROPERTY STRINGS "" address thread)
option(SKELLAN_FUZZ "Build the libFuzzer targets in tests/fuzz (clang only)" OFF)

if(SKELLAN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SKELLAN_FUZZ needs clang++ (libFuzzer), not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  # A fuzzer that misses memory errors only finds crashes.
  if(NOT SKELLAN_SANITIZE MATCHES "^(address)?$")
    message(FATAL_ERROR "SKELLAN_FUZZ goes with SKELLAN_SANITIZE=address, not ${SKELLAN_SANITIZE}")
  endif()
endif()

set(skellan_sanitizer_flags)
if(SKELLAN_SANITIZE STREQUAL "address" OR SKELLAN_FUZZ)
  set(skellan_sanitizer_flags -fsanitize=address,undefined -fno-omit-frame-pointer
                              -fno-sanitize-recover=undefined)
elseif(SKELLAN_SANITIZE STREQUAL "thread")
  set(skellan_sanitizer_flags -fsanitize=thread)
elseif(NOT SKELLAN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SKELLAN_SANITIZE is address, thread or empty, not '${SKELLAN_SANITIZE}'")
endif()
add_compile_options(${skellan_sanitizer_flags})
add_link_options(${skellan_sanitizer_flags})
if(skellan_sanitizer_flags)
  # A sanitizer's shadow memory and quarantine count as a process's own:
  # the tests of how much memory a program needs cannot hold there.
  add_compile_definitions(SKELLAN_SANITIZED)
endif()

if(SKELLAN_FUZZ)
  # Coverage feedback for the fuzzer in all the code it drives; only the
  # fuzz targets themselves link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
