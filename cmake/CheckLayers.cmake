# Checks that each folder of src/ includes only from the layers it sits on,
# and that the engine layers include no widget header.
#   cmake -DSOURCE_DIR=<src> -DWIDGETS_INCLUDE_DIR=<.../qt6/QtWidgets> -P CheckLayers.cmake
#
# One entry per folder: "folder|widgets|folders it may include". A file belongs
# to the longest folder that holds it; an include "a/b/X.h" to the longest
# folder that is a prefix of it. Every folder of src/ must be listed, so that
# a new one is not left unchecked.
cmake_minimum_required(VERSION 3.25)

set(LAYERS
  "common|no|"
  "core|no|common"
  "channels|no|core common"
  "intake|no|core common"
  "report|no|core common"
  "spreadsheet/reader|no|common"
  "dispatch|no|intake channels core common"
  "spreadsheet|no|spreadsheet/reader intake core common"
  "bulk|no|channels core common"
  "ui|yes|common"
  "intake/ui|yes|ui intake core common"
  "report/ui|yes|ui report core common"
  "spreadsheet/ui|yes|ui spreadsheet spreadsheet/reader intake core common"
  "bulk/ui|yes|ui bulk spreadsheet/reader channels core common"
  "console|yes|ui dispatch intake channels core common"
  "programs/smsctl|no|dispatch intake channels core common"
  "programs/smsengine|yes|console bulk/ui spreadsheet/ui report/ui intake/ui ui bulk spreadsheet spreadsheet/reader report dispatch intake channels core common"
)

if(NOT SOURCE_DIR OR NOT IS_DIRECTORY "${WIDGETS_INCLUDE_DIR}")
  message(FATAL_ERROR "CheckLayers: give SOURCE_DIR and WIDGETS_INCLUDE_DIR")
endif()

set(folders "")
foreach(entry IN LISTS LAYERS)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 folder)
  list(GET parts 1 widgets)
  list(GET parts 2 allowed)
  list(APPEND folders "${folder}")
  set(widgets_${folder} "${widgets}")
  string(REPLACE " " ";" allowed_${folder} "${allowed}")
endforeach()

# The longest listed folder that holds path (empty when none does).
function(owner_of path out)
  set(best "")
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" n)
    string(LENGTH "${best}" b)
    if(path MATCHES "^${folder}/" AND n GREATER b)
      set(best "${folder}")
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

set(faults "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
list(SORT sources)
foreach(source IN LISTS sources)
  owner_of("${source}" layer)
  if(layer STREQUAL "")
    list(APPEND faults "${source}: its folder has no entry in the layer table of CheckLayers.cmake")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"ui_([^\"/]+)\\.h\"")
      # The header uic makes of a Designer form: the form must sit beside the
      # source, and only a folder with widgets may have one.
      get_filename_component(dir "${source}" DIRECTORY)
      if(NOT EXISTS "${SOURCE_DIR}/${dir}/${CMAKE_MATCH_1}.ui")
        list(APPEND faults "${source}: \"ui_${CMAKE_MATCH_1}.h\" has no form ${CMAKE_MATCH_1}.ui beside it")
      elseif(widgets_${layer} STREQUAL "no")
        list(APPEND faults "${source}: ${layer} has no widgets but includes the form \"ui_${CMAKE_MATCH_1}.h\"")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header "${CMAKE_MATCH_1}")
      owner_of("${header}" target)
      if(target STREQUAL "")
        list(APPEND faults "${source}: \"${header}\" is in no layer")
      elseif(NOT target STREQUAL layer AND NOT target IN_LIST allowed_${layer})
        list(APPEND faults "${source}: ${layer} may not include \"${header}\" (${target})")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>" AND widgets_${layer} STREQUAL "no")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "^QtWidgets(/|$)" OR EXISTS "${WIDGETS_INCLUDE_DIR}/${header}")
        list(APPEND faults "${source}: ${layer} has no widgets but includes <${header}>")
      endif()
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Layering faults:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "Layering: ${count} files checked")
