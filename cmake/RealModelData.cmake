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
