# One case of the layer check's own tests: writes a small source tree and a table for it, runs
# cmake/CheckLayers.cmake on them and compares the outcome with what the case expects.
#   cmake -DCASE=<name> -DCHECK=<CheckLayers.cmake> -DWORK=<scratch folder> -P LayerCheckCase.cmake
cmake_minimum_required(VERSION 3.25)

set(src "${WORK}/${CASE}/src")
file(REMOVE_RECURSE "${WORK}/${CASE}")

file(WRITE "${WORK}/${CASE}/LAYERS.md" "Some text before the table.

| folder | may include headers of | Qt | status |
|---|---|---|---|
| `document` | — | none | core |
| `fileio` | `document` | none | core |
| `slicing` | `document` `fileio` | none | core |
| `view` | `document` `slicing` | `Core` `Gui` | |

| another table | that is not read |
|---|---|
| `fileio` | `slicing` |
")

# A tree that AcceptsATreeThatFollowsTheTable the table: same-folder, system, allowed and \"../\" includes, Qt in view.
file(WRITE "${src}/document/Doc.h" "#pragma once\n#include <vector>\n")
file(WRITE "${src}/document/Doc.cpp" "#include \"Doc.h\"\n#include \"document/Doc.h\"\n")
file(WRITE "${src}/document/CMakeLists.txt" "tolvane_library(document Doc.cpp)\n")
file(WRITE "${src}/fileio/Reader.cpp"
     "#include \"document/Doc.h\"\n#include \"../document/Doc.h\"\n#include <sys/stat.h>\n")
file(WRITE "${src}/fileio/CMakeLists.txt"
     "tolvane_library(fileio Reader.cpp)\n# tolvane::view in a comment is no link\n"
     "target_link_libraries(tolvane_fileio\n  PUBLIC tolvane::document)\n")
file(WRITE "${src}/slicing/Scan.cpp" "#include \"fileio/Reader.h\"\n#  include <cmath>\n")
file(WRITE "${src}/view/Picture.cpp"
     "#include \"slicing/Scan.h\"\n#include <QImage>\n#include <QtGui/QPainter>\n")
file(WRITE "${src}/view/CMakeLists.txt" "find_package(Qt6 REQUIRED COMPONENTS Gui)\n"
     "target_link_libraries(tolvane_view PUBLIC tolvane::slicing Qt6::Gui)\n")
file(WRITE "${src}/README" "a file beside the folders\n")

# Each failing case breaks one rule and names the message that must say so.
if(CASE STREQUAL "AcceptsATreeThatFollowsTheTable")
  set(expected "")
elseif(CASE STREQUAL "RejectsAnIncludeOfAFolderNotAllowed")
  file(APPEND "${src}/fileio/Reader.cpp" "#include \"slicing/Scan.h\"\n")
  set(expected "fileio/Reader.cpp: includes \"slicing/Scan.h\", but fileio may not use slicing")
elseif(CASE STREQUAL "RejectsARelativeIncludeOfAFolderNotAllowed")
  file(WRITE "${src}/document/Doc.h" "#pragma once\n#include \"../fileio/Reader.h\"\n")
  set(expected "document/Doc.h: includes \"fileio/Reader.h\", but document may not use fileio")
elseif(CASE STREQUAL "RejectsAQtHeaderInACoreFolder")
  file(APPEND "${src}/slicing/Scan.cpp" "#include <QString>\n")
  set(expected "slicing/Scan.cpp: includes the Qt header <QString>, but slicing may not use Qt")
elseif(CASE STREQUAL "RejectsALowercaseQtHeaderInACoreFolder")
  file(APPEND "${src}/document/Doc.cpp" "#include <qglobal.h>\n")
  set(expected "document/Doc.cpp: includes the Qt header <qglobal.h>")
elseif(CASE STREQUAL "RejectsALinkToAFolderNotAllowed")
  file(WRITE "${src}/document/CMakeLists.txt"
       "target_link_libraries(tolvane_document PRIVATE\n  tolvane::fileio)\n")
  set(expected "document/CMakeLists.txt: links tolvane::fileio, but document may not use fileio")
elseif(CASE STREQUAL "RejectsAQtModuleNotAllowed")
  file(APPEND "${src}/view/CMakeLists.txt" "find_package(Qt6 REQUIRED COMPONENTS Widgets)\n")
  set(expected "view/CMakeLists.txt: uses Qt6::Widgets, but view may use only the Qt modules Core Gui")
elseif(CASE STREQUAL "RejectsAQtLinkInACoreFolder")
  file(APPEND "${src}/fileio/CMakeLists.txt"
       "target_link_libraries(tolvane_fileio PRIVATE Qt6::Core)\n")
  set(expected "fileio/CMakeLists.txt: uses Qt6::Core, but fileio may not use Qt")
elseif(CASE STREQUAL "RejectsAFolderTheTableDoesNotList")
  file(WRITE "${src}/gadgets/Gadget.h" "#pragma once\n")
  set(expected "gadgets/: a folder the layer table")
elseif(CASE STREQUAL "FailsWhenTheTableIsMissing")
  file(WRITE "${WORK}/${CASE}/LAYERS.md" "| folder | uses |\n|---|---|\n| `document` | — |\n")
  set(expected "no table with the header")
else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DLAYER_TABLE=${WORK}/${CASE}/LAYERS.md" "-DSOURCE_TREE=${src}"
          -P "${CHECK}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[ \t\r\n]+" " " said "${out} ${err}")
if(expected STREQUAL "")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the check refused a tree that AcceptsATreeThatFollowsTheTable the table:\n${out}${err}")
  endif()
else()
  if(status EQUAL 0)
    message(FATAL_ERROR "the check passed a tree that breaks the table (${CASE}):\n${out}${err}")
  endif()
  string(FIND "${said}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the check failed without saying '${expected}':\n${out}${err}")
  endif()
endif()
