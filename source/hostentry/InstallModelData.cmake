# Install-time step: copies the model data into the folder beside each installed module.
# In:  VARKEL_MODEL_DATA_SOURCE   folder with the model data files (may not exist)
#      VARKEL_MODEL_DATA_FOLDERS  data folders relative to the install prefix

if(NOT IS_DIRECTORY "${VARKEL_MODEL_DATA_SOURCE}")
    message(WARNING
        "No model data at \"${VARKEL_MODEL_DATA_SOURCE}\": the plug-ins are installed without it "
        "and report \"Model data missing\" when loaded. Build the model data there (or set "
        "VARKEL_MODEL_DATA_DIR to a folder holding it) and install again.")
    return()
endif()

file(GLOB varkel_model_files LIST_DIRECTORIES false "${VARKEL_MODEL_DATA_SOURCE}/*")
if(NOT varkel_model_files)
    message(WARNING "The model data folder \"${VARKEL_MODEL_DATA_SOURCE}\" is empty: nothing to install.")
endif()

foreach(folder IN LISTS VARKEL_MODEL_DATA_FOLDERS)
    file(INSTALL "${VARKEL_MODEL_DATA_SOURCE}/" DESTINATION "${CMAKE_INSTALL_PREFIX}/${folder}")
endforeach()
