# Stops the build when a file of a core folder includes a folder that comes later in LAYERS
# (the layer order of the top-level CMakeLists.txt), or when ROOT holds a folder LAYERS lacks.
#   cmake -DLAYERS=platform,models,... -DROOT=/abs/src/core -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" LAYERS "${LAYERS}")
file(GLOB folders LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${ROOT}/${folder} AND NOT folder IN_LIST LAYERS)
    message(FATAL_ERROR "src/core/${folder} is not in the layer order: add it to QS_CORE_LAYERS "
      "in the top-level CMakeLists.txt, after every folder it includes.")
  endif()
endforeach()

set(faults)
list(LENGTH LAYERS count)
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  list(GET LAYERS ${index} layer)
  file(GLOB files ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cc)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"core/[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"core/([a-z_]+)/.*" "\\1" target "${line}")
      list(FIND LAYERS ${target} targetIndex)
      if(targetIndex GREATER index)
        file(RELATIVE_PATH shown ${ROOT} ${file})
        list(APPEND faults "  core/${shown}: ${line} (${target} is above ${layer})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Wrong-way includes: a core folder may include only itself and the folders "
    "before it in QS_CORE_LAYERS (top-level CMakeLists.txt).\n${text}\nMove the shared piece down "
    "to a layer both may use.")
endif()
