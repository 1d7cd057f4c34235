# Install-time step: installs the model data set once and links the data folder beside each
# installed module (and the application's names in bin) to it.
# In:  VARKEL_MODEL_DATA_SOURCE       folder with the model data files (may not exist)
#      VARKEL_MODEL_DATA_DESTINATION  where the set goes, relative to the install prefix
#      VARKEL_INSTALL_LINKS           pairs: link relative to the prefix, target relative to the link

# file(INSTALL) puts DESTDIR (a package's staging folder) in front of an absolute destination
# itself; the links are made by hand, so they get it here.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

if(NOT IS_DIRECTORY "${VARKEL_MODEL_DATA_SOURCE}")
    message(WARNING
        "No model data at \"${VARKEL_MODEL_DATA_SOURCE}\": the plug-ins are installed without it "
        "and report \"Model data missing\" when loaded. Build the model data there (or set "
        "VARKEL_MODEL_DATA_DIR to a folder holding it) and install again, or put the files into "
        "\"${CMAKE_INSTALL_PREFIX}/${VARKEL_MODEL_DATA_DESTINATION}\".")
else()
    file(GLOB varkel_model_files LIST_DIRECTORIES false "${VARKEL_MODEL_DATA_SOURCE}/*")
    if(NOT varkel_model_files)
        message(WARNING "The model data folder \"${VARKEL_MODEL_DATA_SOURCE}\" is empty: nothing to install.")
    endif()
    file(INSTALL "${VARKEL_MODEL_DATA_SOURCE}/" DESTINATION "${CMAKE_INSTALL_PREFIX}/${VARKEL_MODEL_DATA_DESTINATION}"
        FILES_MATCHING PATTERN "varkelpre_*")
endif()

list(LENGTH VARKEL_INSTALL_LINKS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET VARKEL_INSTALL_LINKS ${i} link)
    list(GET VARKEL_INSTALL_LINKS ${j} target)
    message(STATUS "Installing link: ${root}/${link} -> ${target}")
    get_filename_component(folder "${root}/${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    # An earlier install may have left a copied folder there instead of a link.
    if(IS_DIRECTORY "${root}/${link}" AND NOT IS_SYMLINK "${root}/${link}")
        file(REMOVE_RECURSE "${root}/${link}")
    else()
        file(REMOVE "${root}/${link}")
    endif()
    file(CREATE_LINK "${target}" "${root}/${link}" SYMBOLIC)
endforeach()
