# Builds a real model data set the data-dependent tests share, once per build folder:
# it is rebuilt only when the builder's bytes or its arguments change, so repeated test runs cost
# nothing and a copy of the folder made by an identical builder is reused.
# Called as: cmake -DBUILDER=... -DOUT=... -DARGS="a;b;c" -P BuildRealModelData.cmake
set(stamp "${OUT}/.built-with")
file(SHA256 "${BUILDER}" builder_hash)
set(wanted "${ARGS} ${builder_hash}")
if(EXISTS "${stamp}")
    file(READ "${stamp}" built)
    if(built STREQUAL wanted)
        message(STATUS "real model data is up to date in ${OUT}")
        return()
    endif()
endif()
# Built in a scratch folder renamed at the end: an interrupted build is never taken for a complete
# set, and the folder keeps its old contents until the new ones are whole.
set(partial "${OUT}.partial")
file(REMOVE_RECURSE "${partial}")
file(MAKE_DIRECTORY "${partial}")
execute_process(COMMAND "${BUILDER}" --out "${partial}" ${ARGS} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the model builder failed (${result}); ${partial} is incomplete")
endif()
file(WRITE "${partial}/.built-with" "${wanted}")
file(REMOVE_RECURSE "${OUT}")
file(RENAME "${partial}" "${OUT}")
