# Strict warnings for the project's own targets; Qt's headers are system
# headers and stay out of it.
function(norvex_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
                           -Woverloaded-virtual)
    if(NORVEX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
