# Shared settings for the project's own targets: warnings on our code only, and errors of them
# when the developer's option TOLVANE_WERROR is on (CI turns it on; a user's build never needs it,
# since a new compiler's false alarm must not stop an install).
function(tolvane_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOLVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# tolvane_library(<name> <sources...>): the static library tolvane::<name>.
function(tolvane_library name)
  add_library(tolvane_${name} STATIC ${ARGN})
  add_library(tolvane::${name} ALIAS tolvane_${name})
  target_include_directories(tolvane_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  tolvane_defaults(tolvane_${name})
endfunction()
