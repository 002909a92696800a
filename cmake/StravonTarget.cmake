# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings and include root shared by every target of the project.
function(stravon_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast)
  if(STRAVON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
