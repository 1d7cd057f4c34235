# The network library travels with the plug-in: Debian's static libfloatfann.a is not
# position-independent, so the modules link the shared library, and the install puts a copy of it
# where each module's run path ($ORIGIN-relative) finds it. A machine without the library's
# package then still loads every module.
#
# Sets VARKEL_FANN_RUNTIME (the shared library file itself, symlinks resolved) and
# VARKEL_FANN_SONAME (the name the modules ask the loader for).

get_filename_component(VARKEL_FANN_RUNTIME "${FANN_LIBRARY}" REALPATH)
if(VARKEL_FANN_RUNTIME MATCHES "\\.a$")
    message(FATAL_ERROR "${FANN_LIBRARY} is a static library; the modules need the shared one (libfann2)")
endif()

find_program(VARKEL_READELF NAMES readelf REQUIRED)
execute_process(COMMAND "${VARKEL_READELF}" -d "${VARKEL_FANN_RUNTIME}"
    OUTPUT_VARIABLE varkel_fann_dynamic RESULT_VARIABLE varkel_readelf_result)
if(NOT varkel_readelf_result EQUAL 0 OR NOT varkel_fann_dynamic MATCHES "\\(SONAME\\)[^[]*\\[([^]]+)\\]")
    message(FATAL_ERROR "cannot read the soname of ${VARKEL_FANN_RUNTIME}")
endif()
set(VARKEL_FANN_SONAME "${CMAKE_MATCH_1}")
