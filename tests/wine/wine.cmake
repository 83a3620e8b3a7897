# The cross build's tests run under wine, on Qt's offscreen platform, in a
# wine prefix of the build's own. Included by tests/CMakeLists.txt when
# cross-compiling for Windows.

set(NORVEX_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
# The COM ports that the link tests open: ptys made by the pty host; COM12
# is one above the panel's list.
set(NORVEX_WINE_PORTS COM3 COM10 COM12)

# A Windows path of this machine's file system, as wine's drive Z: shows it.
function(norvex_wine_path out path)
    string(REPLACE "/" "\\" path "${path}")
    set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

# Qt's DLLs and plugins.
get_target_property(core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT core_dll)
    get_target_property(core_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(qt_bin "${core_dll}" DIRECTORY)
if(QT6_INSTALL_PREFIX AND QT6_INSTALL_PLUGINS)
    set(qt_plugins "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}")
else()
    get_filename_component(qt_plugins "${qt_bin}/../plugins" ABSOLUTE)
endif()
# The compiler's runtime as the installer ships it (packaging/windows/windows.cmake).
if(NOT NORVEX_RUNTIME_DIR)
    message(FATAL_ERROR "No runtime folder: packaging/ must be added before tests/")
endif()
set(dll_dirs "${qt_bin}" "${NORVEX_RUNTIME_DIR}")
set(wine_path "")
foreach(dir IN LISTS dll_dirs)
    norvex_wine_path(dir "${dir}")
    if(wine_path)
        string(APPEND wine_path ";")
    endif()
    string(APPEND wine_path "${dir}")
endforeach()
norvex_wine_path(wine_plugins "${qt_plugins}")

# Fonts for the offscreen platform, which draws text as boxes without them:
# wine's own (Tahoma among them), DejaVu, and the desktop fonts that the font
# test lays the panels out in, where this machine has them.
set(font_dir ${NORVEX_WINE_DIR}/fonts)
file(MAKE_DIRECTORY ${font_dir})
file(GLOB fonts /usr/share/wine/fonts/*.ttf /usr/share/fonts/truetype/dejavu/*.ttf
     /usr/share/fonts/truetype/noto/NotoSans-*.ttf
     /usr/share/fonts/truetype/liberation/LiberationSans-*.ttf
     /usr/share/fonts/opentype/cantarell/*.otf)
if(NOT fonts)
    message(WARNING "Neither wine's fonts nor DejaVu found: tests under wine draw no text")
endif()
foreach(font IN LISTS fonts)
    get_filename_component(name "${font}" NAME)
    file(CREATE_LINK "${font}" "${font_dir}/${name}" SYMBOLIC)
endforeach()
norvex_wine_path(wine_fonts "${font_dir}")

# The helpers that run on this machine, not under wine: built with its own C
# compiler, never with mingw.
find_program(NORVEX_HOST_CC NAMES cc gcc REQUIRED)
set(host_flags -O2 -Wall -Wextra -Werror)
set(NORVEX_WINE_SHIM ${NORVEX_WINE_DIR}/libnorvexmodem.so)
set(NORVEX_WINE_SERVER_SHIM ${NORVEX_WINE_DIR}/libnorvexexclusive.so)
set(NORVEX_PTYHOST ${NORVEX_WINE_DIR}/ptyhost)
set(pty_header ${CMAKE_CURRENT_LIST_DIR}/ptyslave.h)
add_custom_command(OUTPUT ${NORVEX_WINE_SHIM}
    COMMAND ${NORVEX_HOST_CC} ${host_flags} -shared -fPIC -o ${NORVEX_WINE_SHIM}
            ${CMAKE_CURRENT_LIST_DIR}/modemshim.c -ldl -lpthread
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/modemshim.c ${pty_header}
    COMMENT "Building the modem ioctl shim for wine with the host's compiler")
add_custom_command(OUTPUT ${NORVEX_WINE_SERVER_SHIM}
    COMMAND ${NORVEX_HOST_CC} ${host_flags} -shared -fPIC -o ${NORVEX_WINE_SERVER_SHIM}
            ${CMAKE_CURRENT_LIST_DIR}/exclusiveopen.c -ldl
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/exclusiveopen.c ${pty_header}
    COMMENT "Building the exclusive-open shim for wineserver with the host's compiler")
add_custom_command(OUTPUT ${NORVEX_PTYHOST}
    COMMAND ${NORVEX_HOST_CC} ${host_flags} -o ${NORVEX_PTYHOST} ${CMAKE_CURRENT_LIST_DIR}/ptyhost.c
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ptyhost.c ${pty_header}
    COMMENT "Building the pty host with the host's compiler")
add_custom_target(norvex_wine_helpers ALL
                  DEPENDS ${NORVEX_WINE_SHIM} ${NORVEX_WINE_SERVER_SHIM} ${NORVEX_PTYHOST})

# What the wrapper needs to know of this build.
string(JOIN " " port_names ${NORVEX_WINE_PORTS})
file(WRITE ${NORVEX_WINE_DIR}/env.sh
"# Written by CMake: the settings of tests/wine/run for this build.
NORVEX_WINE_DIR='${NORVEX_WINE_DIR}'
NORVEX_WINE_SHIM='${NORVEX_WINE_SHIM}'
NORVEX_WINE_SERVER_SHIM='${NORVEX_WINE_SERVER_SHIM}'
NORVEX_WINE_PORTS_DIR='${NORVEX_WINE_DIR}/ports'
NORVEX_WINE_PORTS='${port_names}'
WINEPREFIX='${NORVEX_WINE_DIR}/prefix'
WINEPATH='${wine_path}'
NORVEX_WINEQT_PLUGIN_PATH='${wine_plugins}'
NORVEX_WINEQT_QPA_FONTDIR='${wine_fonts}'
")

set(NORVEX_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/run ${NORVEX_WINE_DIR}/env.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NORVEX_WINE_RUN})

# Every test under wine needs the prefix (made once, about 5 s) and a
# wineserver whose own output stays out of the tests' logs.
add_test(NAME wine_prefix_setup COMMAND ${NORVEX_WINE_RUN} --setup)
add_test(NAME wine_prefix_cleanup COMMAND ${NORVEX_WINE_RUN} --stop)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)

# The pty host, for the link tests: the ports' far ends.
add_test(NAME wine_ports_setup
         COMMAND ${NORVEX_PTYHOST} start ${NORVEX_WINE_DIR}/ports
                 ${NORVEX_WINE_DIR}/prefix/dosdevices ${NORVEX_WINE_PORTS})
add_test(NAME wine_ports_cleanup COMMAND ${NORVEX_PTYHOST} stop ${NORVEX_WINE_DIR}/ports)
set_tests_properties(wine_ports_setup PROPERTIES
    FIXTURES_SETUP wine_ports FIXTURES_REQUIRED wine_prefix TIMEOUT 60)
set_tests_properties(wine_ports_cleanup PROPERTIES FIXTURES_CLEANUP wine_ports TIMEOUT 60)
file(MAKE_DIRECTORY ${NORVEX_WINE_DIR}/ports)
# Where the Windows link test finds the pty host, as a Qt path.
set(NORVEX_WINE_PORTS_WINDOWS "Z:${NORVEX_WINE_DIR}/ports")
