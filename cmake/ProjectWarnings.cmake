# Strict warnings on the project's own sources only; third-party code (JUCE modules)
# is compiled without -Werror because it trips GCC 12 warnings at -O3.
function(varkel_enable_warnings target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Werror>)
endfunction()
