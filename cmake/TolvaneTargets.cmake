# Shared settings for the project's own targets: warnings as errors on our code only.
function(tolvane_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# tolvane_library(<name> <sources...>): the static library tolvane::<name>.
function(tolvane_library name)
  add_library(tolvane_${name} STATIC ${ARGN})
  add_library(tolvane::${name} ALIAS tolvane_${name})
  target_include_directories(tolvane_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  tolvane_defaults(tolvane_${name})
endfunction()
