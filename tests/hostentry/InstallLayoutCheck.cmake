# Installs the build into a fresh prefix and checks that every format lands where hosts look for
# it, with the model data folder beside each module linked to the one installed data set, and
# that every module loads on a machine without the network library's package: each finds the
# copy installed with it through its run path. The last check hides the system's copy of the
# library in a private mount namespace, which needs root; elsewhere it is skipped with a note.
# In: BUILD_DIR, PREFIX, MODEL_DATA_DIR, FANN_RUNTIME (the system's library file), FANN_SONAME

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed (${result}):\n${output}\n${errors}")
endif()

set(application "lib/varkel-hot-preamp/VARKEL Hot Preamp")
set(modules
    "lib/vst/VARKEL Hot Preamp.so"
    "lib/vst3/VARKEL Hot Preamp.vst3/Contents/x86_64-linux/VARKEL Hot Preamp.so"
    "lib/lv2/VARKEL Hot Preamp.lv2/VARKEL Hot Preamp.so"
    "${application}")
set(expected ${modules}
    "lib/lv2/VARKEL Hot Preamp.lv2/manifest.ttl"
    "lib/lv2/VARKEL Hot Preamp.lv2/dsp.ttl"
    "lib/lv2/VARKEL Hot Preamp.lv2/ui.ttl"
    "bin/VARKEL Hot Preamp"
    "bin/varkel-hot-preamp"
    "share/applications/varkel-hot-preamp.desktop")
foreach(file IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "missing after install: ${file}")
    endif()
endforeach()

# The application's names in bin lead to the one real file, whose data folder lies beside it.
foreach(name "VARKEL Hot Preamp" "varkel-hot-preamp")
    get_filename_component(resolved "${PREFIX}/bin/${name}" REALPATH)
    get_filename_component(real_application "${PREFIX}/${application}" REALPATH)
    if(NOT IS_SYMLINK "${PREFIX}/bin/${name}" OR NOT resolved STREQUAL real_application)
        message(FATAL_ERROR "bin/${name} does not lead to ${application} (it leads to ${resolved})")
    endif()
endforeach()

# One data set: every module's data folder is a link to share/varkel-hot-preamp/model-data.
# (The set may be missing, so the links are compared by what they name, not what they reach.)
get_filename_component(data_set "${PREFIX}/share/varkel-hot-preamp/model-data" ABSOLUTE)
foreach(module IN LISTS modules)
    if(NOT IS_SYMLINK "${PREFIX}/${module}.dat")
        message(FATAL_ERROR "${module}.dat is not a link")
    endif()
    file(READ_SYMLINK "${PREFIX}/${module}.dat" target)
    get_filename_component(module_folder "${PREFIX}/${module}" DIRECTORY)
    get_filename_component(linked "${target}" ABSOLUTE BASE_DIR "${module_folder}")
    if(NOT linked STREQUAL data_set)
        message(FATAL_ERROR "${module}.dat links to ${target}, not to the installed data set")
    endif()
endforeach()
file(GLOB model_files RELATIVE "${MODEL_DATA_DIR}" "${MODEL_DATA_DIR}/varkelpre_*")
if(IS_DIRECTORY "${MODEL_DATA_DIR}")
    foreach(module IN LISTS modules)
        foreach(name IN LISTS model_files)
            if(NOT EXISTS "${PREFIX}/${module}.dat/${name}")
                message(FATAL_ERROR "model file ${name} missing beside ${module}")
            endif()
        endforeach()
    endforeach()
elseif(NOT errors MATCHES "No model data at")
    message(FATAL_ERROR "install without model data printed no message:\n${errors}")
endif()

# Each module asks for the network library by its soname and has a run path that leads to a copy
# installed with it.
foreach(module IN LISTS modules)
    execute_process(COMMAND readelf -d "${PREFIX}/${module}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "readelf failed on ${module}")
    endif()
    if(dynamic MATCHES "\\(RPATH\\)")
        message(FATAL_ERROR "${module} has an RPATH entry (a RUNPATH lets LD_LIBRARY_PATH win)")
    endif()
    if(NOT dynamic MATCHES "\\(RUNPATH\\)[^[]*\\[([^]]*)\\]")
        message(FATAL_ERROR "${module} has no run path:\n${dynamic}")
    endif()
    string(REPLACE "$ORIGIN" "" relative "${CMAKE_MATCH_1}")
    get_filename_component(module_folder "${PREFIX}/${module}" DIRECTORY)
    if(NOT EXISTS "${module_folder}${relative}/${FANN_SONAME}")
        message(FATAL_ERROR "${module}: run path ${CMAKE_MATCH_1} holds no ${FANN_SONAME}")
    endif()
    if(NOT dynamic MATCHES "\\(NEEDED\\)[^[]*\\[${FANN_SONAME}\\]")
        message(FATAL_ERROR "${module} does not ask for ${FANN_SONAME}; the copies beside it are useless")
    endif()
endforeach()

# With the system's library file hidden (an empty file mounted over it), the loader must still
# resolve every module's dependencies, from the copies in the prefix.
execute_process(COMMAND unshare --mount true RESULT_VARIABLE can_unshare OUTPUT_QUIET ERROR_QUIET)
if(can_unshare EQUAL 0)
    foreach(module IN LISTS modules)
        execute_process(
            COMMAND unshare --mount sh -c "mount --bind /dev/null \"$1\" && ldd \"$2\"" sh
                "${FANN_RUNTIME}" "${PREFIX}/${module}"
            OUTPUT_VARIABLE libraries ERROR_VARIABLE problems RESULT_VARIABLE result)
        if(NOT result EQUAL 0 OR libraries MATCHES "not found" OR problems MATCHES "too short|error")
            message(FATAL_ERROR "${module} does not load with ${FANN_RUNTIME} hidden:\n${libraries}\n${problems}")
        endif()
        if(NOT libraries MATCHES "${FANN_SONAME} => ${PREFIX}/")
            message(FATAL_ERROR "${module} takes ${FANN_SONAME} from outside the prefix:\n${libraries}")
        endif()
    endforeach()
else()
    message(STATUS "note: no private mount namespace here (not root); loading with the library hidden was not tried")
endif()

# A package build installs into a staging folder (DESTDIR) with the final prefix: everything,
# the data set and the links included, must land below the staging folder, under the prefix.
file(REMOVE_RECURSE "${PREFIX}")
set(staging "${PREFIX}-staging")
file(REMOVE_RECURSE "${staging}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${staging}"
        "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install with DESTDIR failed (${result}):\n${output}\n${errors}")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false RELATIVE "${staging}" "${staging}/*")
foreach(file IN LISTS staged)
    if(NOT file MATCHES "^usr/")
        message(FATAL_ERROR "install with DESTDIR put ${file} outside the prefix")
    endif()
endforeach()
foreach(module IN LISTS modules)
    if(NOT IS_SYMLINK "${staging}/usr/${module}.dat")
        message(FATAL_ERROR "install with DESTDIR made no data link beside ${module}")
    endif()
endforeach()
foreach(name IN LISTS model_files)
    if(NOT EXISTS "${staging}/usr/share/varkel-hot-preamp/model-data/${name}")
        message(FATAL_ERROR "install with DESTDIR did not stage the model file ${name}")
    endif()
endforeach()
file(REMOVE_RECURSE "${staging}")
