#!/usr/bin/env bash
# Makes the Debian package on a Debian 12 machine: installs the build dependencies, builds every
# format in build/, builds the default model data set when it is missing (scripts/model-data.sh)
# and packs what `cmake --install` lays out under /usr with CPack's DEB generator. Prints the
# package's path last.
#
#   bash scripts/package.sh            -> out/varkel-hot-preamp_<version>_<arch>.deb
#
# Install it with: apt-get install ./out/varkel-hot-preamp_*.deb  (scripts/package-test.sh does
# that, checks it in real hosts and removes it again).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
nice cmake --build build --parallel "$(nproc)" --target \
  VarkelHotPreamp_VST VarkelHotPreamp_VST3 VarkelHotPreamp_LV2 VarkelHotPreamp_Standalone
bash scripts/model-data.sh

mkdir -p out
rm -f out/varkel-hot-preamp_*.deb
(cd build && cpack -G DEB -B "$PWD/../out/cpack") 
mv out/cpack/varkel-hot-preamp_*.deb out/
rm -rf out/cpack
package="$(ls out/varkel-hot-preamp_*.deb)"
dpkg-deb --field "$package" Package Version Architecture Installed-Size Depends
echo "package.sh: $(du -h "$package" | cut -f1) package"
realpath "$package"
