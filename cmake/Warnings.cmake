# wayfetch_warnings(target): the project's warning set on one target.
function(wayfetch_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wold-style-cast
                                           -Wnon-virtual-dtor -Woverloaded-virtual)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
  if(WAYFETCH_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# wayfetch_library(name sources...): a static library that includes from the root.
function(wayfetch_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${WAYFETCH_ROOT})
  wayfetch_warnings(${name})
endfunction()
