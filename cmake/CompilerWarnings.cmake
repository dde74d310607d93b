# SPDX-License-Identifier: GPL-2.0-or-later
# velmorant_warnings(target): the project's warning set on one target.
function(velmorant_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      # Qt's logging macros (qCWarning(category) << ...) leave a variadic
      # argument empty, which clang's pedantic mode reports at every use.
      target_compile_options(${target} PRIVATE -Wno-gnu-zero-variadic-macro-arguments)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  endif()
endfunction()
