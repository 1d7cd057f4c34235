# Debian packages only: libfann-dev (single precision floatfann), libgmm-dev (header-only).
find_path(FANN_INCLUDE_DIR floatfann.h REQUIRED)
find_library(FANN_LIBRARY NAMES floatfann REQUIRED)
add_library(varkel::fann INTERFACE IMPORTED)
target_include_directories(varkel::fann INTERFACE "${FANN_INCLUDE_DIR}")
target_link_libraries(varkel::fann INTERFACE "${FANN_LIBRARY}" m)

find_path(GMM_INCLUDE_DIR gmm/gmm.h REQUIRED)
add_library(varkel::gmm INTERFACE IMPORTED)
target_include_directories(varkel::gmm SYSTEM INTERFACE "${GMM_INCLUDE_DIR}")

if(VARKEL_BUILD_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()

if(VARKEL_BUILD_BENCHMARKS)
    find_package(benchmark REQUIRED)
endif()
