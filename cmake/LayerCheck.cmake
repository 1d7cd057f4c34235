# Fails when a layer of source/ includes a header of a layer above it (see LayerRules.cmake).
# Called as: cmake -DSOURCE_DIR=.../source [-DSTAMP=file] -P LayerCheck.cmake
include("${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake")
varkel_find_layer_violations("${SOURCE_DIR}" violations)
if(NOT violations STREQUAL "")
    message(FATAL_ERROR "a layer includes one above it (see cmake/LayerRules.cmake):\n${violations}")
endif()
if(DEFINED STAMP)
    file(TOUCH "${STAMP}")
endif()
