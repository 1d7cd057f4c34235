# Build step: points the model data folder beside a module at the build's model data.
# In: LINK (the module file plus ".dat"), TARGET (the model data folder; may not exist yet: the
# link then dangles and the plug-in reports its data missing until the folder is built).
if(IS_SYMLINK "${LINK}" OR NOT EXISTS "${LINK}")
    file(REMOVE "${LINK}")
    file(CREATE_LINK "${TARGET}" "${LINK}" SYMBOLIC)
endif()
