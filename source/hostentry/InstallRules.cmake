# Installation and the build tree's data links ----------------------------------------------------
# cmake --install build --prefix P lays out (P is /usr in the Debian package):
#   P/lib/vst/VARKEL Hot Preamp.so                          VST 2.4 module
#   P/lib/vst3/VARKEL Hot Preamp.vst3/Contents/<arch>-linux/  VST3 module
#   P/lib/lv2/VARKEL Hot Preamp.lv2/                        LV2 module, its .ttl files and presets
#   P/lib/varkel-hot-preamp/VARKEL Hot Preamp               the standalone application, linked
#                                                           from P/bin under its own name and as
#                                                           P/bin/varkel-hot-preamp
#   P/share/varkel-hot-preamp/model-data/                   the model data set, once
#   P/share/applications/varkel-hot-preamp.desktop          the desktop entry
# Each module reads its model data from the folder beside its own file named like it plus ".dat";
# there that name is a relative link to the one data set. The network library is copied beside
# the VST3, LV2 and standalone files (their run path is $ORIGIN), and the VST 2.4 module finds
# the standalone's copy ($ORIGIN/../varkel-hot-preamp), so that P/lib/vst holds only the module.

get_target_property(varkel_product_name VarkelHotPreamp JUCE_PRODUCT_NAME)
set(varkel_module "${varkel_product_name}.so")
set(varkel_vst3_binary_dir "lib/vst3/${varkel_product_name}.vst3/Contents/${JUCE_TARGET_ARCHITECTURE}-linux")
set(varkel_lv2_dir "lib/lv2/${varkel_product_name}.lv2")
set(varkel_private_dir "lib/varkel-hot-preamp")
set(varkel_data_dir "share/varkel-hot-preamp/model-data")

set_target_properties(VarkelHotPreamp_VST PROPERTIES INSTALL_RPATH "$ORIGIN/../varkel-hot-preamp")
set_target_properties(VarkelHotPreamp_VST3 VarkelHotPreamp_LV2 VarkelHotPreamp_Standalone
    PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS VarkelHotPreamp_VST LIBRARY DESTINATION lib/vst)
install(TARGETS VarkelHotPreamp_VST3 LIBRARY DESTINATION "${varkel_vst3_binary_dir}")
install(TARGETS VarkelHotPreamp_LV2 LIBRARY DESTINATION "${varkel_lv2_dir}")
# The LV2 description, written at build time by running the plug-in, and the programs as presets.
foreach(ttl manifest.ttl dsp.ttl ui.ttl)
    install(FILES "$<TARGET_FILE_DIR:VarkelHotPreamp_LV2>/${ttl}" DESTINATION "${varkel_lv2_dir}")
endforeach()
install(TARGETS VarkelHotPreamp_Standalone RUNTIME DESTINATION "${varkel_private_dir}")

foreach(folder "${varkel_private_dir}" "${varkel_vst3_binary_dir}" "${varkel_lv2_dir}")
    install(FILES "${VARKEL_FANN_RUNTIME}" DESTINATION "${folder}" RENAME "${VARKEL_FANN_SONAME}")
endforeach()

configure_file("${CMAKE_CURRENT_SOURCE_DIR}/varkel-hot-preamp.desktop.in"
    "${CMAKE_CURRENT_BINARY_DIR}/varkel-hot-preamp.desktop" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/varkel-hot-preamp.desktop" DESTINATION share/applications)

# Links, relative to the install prefix: name, then target relative to the link's folder.
set(varkel_install_links
    "bin/${varkel_product_name}" "../${varkel_private_dir}/${varkel_product_name}"
    "bin/varkel-hot-preamp" "../${varkel_private_dir}/${varkel_product_name}"
    "${varkel_private_dir}/${varkel_product_name}.dat" "../../${varkel_data_dir}"
    "lib/vst/${varkel_module}.dat" "../../${varkel_data_dir}"
    "${varkel_vst3_binary_dir}/${varkel_module}.dat" "../../../../../${varkel_data_dir}"
    "${varkel_lv2_dir}/${varkel_module}.dat" "../../../${varkel_data_dir}")
# The model data is made after configuration, so whether it exists is decided at install time.
install(CODE "
    set(VARKEL_MODEL_DATA_SOURCE \"${VARKEL_MODEL_DATA_DIR}\")
    set(VARKEL_MODEL_DATA_DESTINATION \"${varkel_data_dir}\")
    set(VARKEL_INSTALL_LINKS \"${varkel_install_links}\")
    include(\"${CMAKE_CURRENT_SOURCE_DIR}/InstallModelData.cmake\")")
