# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings and include root shared by every target of the project.
function(stravon_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast)
  # GCC 12 at -O3 reports overlapping copies inside std::string's own inlined
  # code, a false positive of that version; none is in this project's code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(STRAVON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
