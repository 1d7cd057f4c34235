# Adds every direct sub-folder of the current source folder that has a CMakeLists.txt,
# so each subsystem owns its own build description.
macro(varkel_add_child_folders)
    file(GLOB _varkel_children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
    list(SORT _varkel_children)
    foreach(_varkel_child IN LISTS _varkel_children)
        if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${_varkel_child}"
           AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${_varkel_child}/CMakeLists.txt")
            add_subdirectory("${_varkel_child}")
        endif()
    endforeach()
endmacro()
