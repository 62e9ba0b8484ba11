# Warnings are errors on our own code only; third-party headers come in as SYSTEM includes.
function(zq_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wno-unused-parameter -Wnon-virtual-dtor -Woverloaded-virtual)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety -Wno-gnu-zero-variadic-macro-arguments)
  endif()
endfunction()
