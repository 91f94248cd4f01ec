# Fails when a source folder includes a header from a folder it may not depend on.
# Dependencies point one way: platform <- serial <- lm, wideband <- logging, reports <-
# logfiles <- analysis <- session <- dialogs, views <- app (analysis reads the adaptives a
# run kept through reports); the simulator depends on platform and, of lm, on the
# parameter table alone (lm/ParameterTable.h: the LM's addresses and scales). Run with
#   cmake -DSOURCE_DIR=<project root> -P CheckLayers.cmake
set(allowed_platform platform)
# sim may use the parameter table alone of lm (checked below).
set(allowed_sim sim lm platform)
set(allowed_serial serial platform)
set(allowed_lm lm serial platform)
set(allowed_wideband wideband serial platform)
set(allowed_logging logging lm serial platform)
set(allowed_reports reports lm serial platform)
set(allowed_logfiles logfiles logging lm serial platform)
set(allowed_analysis analysis logfiles logging reports lm serial platform)
set(allowed_session session analysis logfiles reports logging wideband lm serial platform)
set(allowed_dialogs dialogs session analysis logfiles logging wideband lm serial platform)
set(allowed_views views dialogs session analysis logfiles logging platform)
set(allowed_app app views dialogs session analysis logfiles reports logging wideband lm serial sim platform)

set(folders platform sim serial lm wideband logging reports logfiles analysis session dialogs views app)
set(violations "")
foreach(folder ${folders})
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*" "\\1" target "${line}")
      list(FIND allowed_${folder} ${target} found)
      if(folder STREQUAL "sim" AND target STREQUAL "lm" AND NOT line MATCHES "\"lm/ParameterTable\\.h\"")
        set(found -1)
      endif()
      if(found EQUAL -1)
        file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
        string(APPEND violations "  ${relative}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the direction of the layers:\n${violations}")
endif()
message(STATUS "Every include follows the layers.")
