# Fails unless the first <release> of the metainfo file (the newest) has the given version.
#   cmake -DMETAINFO=<file> -DVERSION=<version> -P CheckMetainfoRelease.cmake
file(READ ${METAINFO} text)
if(NOT text MATCHES "<release version=\"([^\"]*)\"")
  message(FATAL_ERROR "${METAINFO} lists no release")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${METAINFO}: newest release is ${CMAKE_MATCH_1}, the project version is ${VERSION}; add a <release> entry")
endif()
message(STATUS "The metainfo's newest release is ${VERSION}.")
