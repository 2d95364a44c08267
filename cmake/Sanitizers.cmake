# Sanitizer builds apply to every target of the tree.
if(WAYFETCH_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(WAYFETCH_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT WAYFETCH_SANITIZE STREQUAL "")
  message(FATAL_ERROR "WAYFETCH_SANITIZE must be '', 'address' or 'thread'")
endif()

# Fuzz builds instrument every library for libFuzzer's coverage; the fuzz
# targets themselves add -fsanitize=fuzzer (fuzz/CMakeLists.txt).
if(WAYFETCH_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
