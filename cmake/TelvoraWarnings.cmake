# Strict warnings for the project's own targets only; third-party headers come in as
# system includes and are not affected.
function(telvora_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
        -Wcast-align -Wformat=2 -Wimplicit-fallthrough)
    if(TELVORA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
