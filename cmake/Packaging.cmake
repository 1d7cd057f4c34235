# The Debian package (cpack -G DEB in the build folder; scripts/package.sh does the whole job).
# It holds what `cmake --install` lays out under /usr: the modules of every format, the
# application with its desktop entry and the model data set. Its dependencies are what
# dpkg-shlibdeps finds the binaries need; the network library is not among them, since it comes
# with the modules (see BundledFann.cmake).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varkel-hot-preamp)
set(CPACK_PACKAGE_VENDOR "Talvomer")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "valve guitar preamp plug-in (VST 2.4, VST3, LV2, standalone)")
set(CPACK_PACKAGE_DESCRIPTION
    "VARKEL Hot Preamp simulates the four-stage 12AX7 preamp of a valve guitar amplifier: input
level, gain, treble, middle, bass and output level, two valve sets, oversampling x2 to x16 and
twelve programs. The package holds the VST 2.4 module (/usr/lib/vst), the VST3 bundle
(/usr/lib/vst3), the LV2 bundle with the programs as presets (/usr/lib/lv2), the standalone
application for JACK or ALSA (varkel-hot-preamp) and the model data set the modules read.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Talvomer <packages@talvomer.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The application's JACK backend opens libjack at run time instead of linking it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")

include(CPack)
