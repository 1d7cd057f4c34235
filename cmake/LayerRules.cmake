# The layers of source/ and what each may include. Every layer includes from the one root
# source/ by folder ("models/RegionNetwork.h"), so include paths alone cannot keep a lower layer
# from reaching up; this check does, as a build step of the libraries and as a test.
#
#   shared     small utilities every layer may use      (includes: shared)
#   models     model files, region networks, loading    (includes: shared, models)
#   engine     circuit blocks and the channel chain     (includes: shared, models, engine)
#   reference  the exact solver, ground truth           (includes: shared, models, engine, reference)
#
# The processor, editor and host entry sit above all of them and are not checked.
set(VARKEL_LAYERS shared models engine reference)
set(VARKEL_LAYER_ALLOWED_shared shared)
set(VARKEL_LAYER_ALLOWED_models shared models)
set(VARKEL_LAYER_ALLOWED_engine shared models engine)
set(VARKEL_LAYER_ALLOWED_reference shared models engine reference)
set(VARKEL_PROJECT_FOLDERS shared models engine reference processor editor hostentry)

# Sets <out> to one line per include in <source_dir>/<layer>/ that names a project folder the
# layer may not use ("models/RegionNetwork.h:3 includes engine/SSParamsVec.h"); empty when none.
function(varkel_find_layer_violations source_dir out)
    set(found "")
    foreach(layer IN LISTS VARKEL_LAYERS)
        file(GLOB_RECURSE files "${source_dir}/${layer}/*.h" "${source_dir}/${layer}/*.cpp")
        foreach(path IN LISTS files)
            file(STRINGS "${path}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
            file(RELATIVE_PATH shown "${source_dir}" "${path}")
            foreach(line IN LISTS lines)
                if(line MATCHES "include[ \t]*[\"<]([A-Za-z0-9_-]+)/([^\">]+)[\">]")
                    set(folder "${CMAKE_MATCH_1}")
                    set(header "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
                    list(FIND VARKEL_PROJECT_FOLDERS "${folder}" is_ours)
                    list(FIND VARKEL_LAYER_ALLOWED_${layer} "${folder}" is_allowed)
                    if(is_ours GREATER -1 AND is_allowed EQUAL -1)
                        string(APPEND found "${shown} includes ${header}\n")
                    endif()
                endif()
            endforeach()
        endforeach()
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()
