# Installs the build into a fresh prefix and checks that every format lands where hosts look for
# it, with the model data folder beside each module when the build has model data.
# In: BUILD_DIR, PREFIX, MODEL_DATA_DIR

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed (${result}):\n${output}\n${errors}")
endif()

set(modules
    "lib/vst/VARKEL Hot Preamp.so"
    "lib/vst3/VARKEL Hot Preamp.vst3/Contents/x86_64-linux/VARKEL Hot Preamp.so"
    "lib/lv2/VARKEL Hot Preamp.lv2/VARKEL Hot Preamp.so"
    "bin/VARKEL Hot Preamp")
set(expected ${modules}
    "lib/lv2/VARKEL Hot Preamp.lv2/manifest.ttl"
    "lib/lv2/VARKEL Hot Preamp.lv2/dsp.ttl"
    "lib/lv2/VARKEL Hot Preamp.lv2/ui.ttl")
foreach(file IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "missing after install: ${file}")
    endif()
endforeach()

file(GLOB model_files RELATIVE "${MODEL_DATA_DIR}" "${MODEL_DATA_DIR}/*")
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
file(REMOVE_RECURSE "${PREFIX}")
