# A real model data set built by the model builder's fast preset: both valve sets, 44.1 and 48 kHz
# hosts without and with x2 oversampling. Tests that need trained networks (not stand-ins) call
# varkel_use_real_model_data(target) and discover their tests with
#   gtest_discover_tests(target ... PROPERTIES FIXTURES_REQUIRED real_model_data)
# so that they run after the fixture test `real_model_data` has built the set.
set(VARKEL_TEST_MODEL_DATA_DIR "${CMAKE_BINARY_DIR}/test-model-data")
set(VARKEL_TEST_MODEL_DATA_ARGS
    "--valve;both;--host-rates;48000,44100;--training-rates;48000;--factors;1,2;--jobs;2;--fast")

function(varkel_use_real_model_data target)
    target_compile_definitions(${target} PRIVATE VARKEL_TEST_MODEL_DATA="${VARKEL_TEST_MODEL_DATA_DIR}")
endfunction()

# The default data set the plug-in ships (what scripts/model-data.sh builds into build/model-data):
# both valve sets, six host rates at every factor, blocks 1, 2 and 4 trained at 48000, and blocks 1
# and 2 trained again (Fresh at 192000, Aged at 176400) for the processing rates above 96000 (files
# "<name>.<rate>"). Tests that
# must hold for every rate and factor use it with
#   varkel_use_default_model_data(target) and FIXTURES_REQUIRED default_model_data.
# The arguments are written beside the build for scripts/model-data.sh, so both build one set.
include(ProcessorCount)
ProcessorCount(varkel_cores)
if(varkel_cores LESS 1)
    set(varkel_cores 2)
endif()
set(VARKEL_DEFAULT_MODEL_DATA_DIR "${CMAKE_BINARY_DIR}/model-data")
set(VARKEL_DEFAULT_MODEL_DATA_ARGS
    "--valve;both;--host-rates;48000,44100,88200,96000,176400,192000;--factors;1,2,4,8,16"
    "--training-rates;48000;--high-rate-training;192000,176400;--jobs;${varkel_cores};--fast")
list(JOIN VARKEL_DEFAULT_MODEL_DATA_ARGS "\n" varkel_default_args_lines)
file(WRITE "${CMAKE_BINARY_DIR}/model-data-args" "${varkel_default_args_lines}\n")

function(varkel_use_default_model_data target)
    target_compile_definitions(${target} PRIVATE VARKEL_DEFAULT_MODEL_DATA="${VARKEL_DEFAULT_MODEL_DATA_DIR}")
endfunction()
