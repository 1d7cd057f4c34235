# The layer check must refuse a lower layer that reaches up and accept every allowed include:
# writes a small tree of both kinds and runs the check on each.
# Called as: cmake -DWORK=folder -P LayerCheckSelfTest.cmake
include("${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake")
file(REMOVE_RECURSE "${WORK}")

file(WRITE "${WORK}/good/shared/A.h" "#include \"shared/B.h\"\n#include <vector>\n")
file(WRITE "${WORK}/good/models/A.h" "#include \"shared/A.h\"\n#include \"models/B.h\"\n")
file(WRITE "${WORK}/good/engine/A.cpp" "#include \"models/A.h\"\n#include \"engine/B.h\"\n")
file(WRITE "${WORK}/good/reference/A.cpp" "#include \"engine/A.h\"\n#include <gmm/gmm.h>\n")
varkel_find_layer_violations("${WORK}/good" violations)
if(NOT violations STREQUAL "")
    message(FATAL_ERROR "allowed includes were refused:\n${violations}")
endif()

set(cases
    "shared/A.h|models/RegionNetwork.h"
    "models/A.h|engine/SSParamsVec.h"
    "models/B.cpp|reference/PortSolver.h"
    "engine/A.cpp|reference/PortSolver.h"
    "engine/B.h|processor/ModelFiles.h"
    "reference/A.h|editor/ValveGlow.h")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 file)
    list(GET parts 1 header)
    file(REMOVE_RECURSE "${WORK}/bad")
    file(WRITE "${WORK}/bad/${file}" "#pragma once\n  #  include \"${header}\"\n")
    varkel_find_layer_violations("${WORK}/bad" violations)
    if(NOT violations MATCHES "${file} includes ${header}")
        message(FATAL_ERROR "${file} including ${header} was not refused (found: '${violations}')")
    endif()
endforeach()
message(STATUS "the layer check refuses every upward include it was shown")
