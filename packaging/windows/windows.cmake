# What the Windows installation holds besides the program and its tool bar
# icons, all in one folder (Program Files\Norvex): the Qt libraries and
# plugins the console loads, the C++ runtime of the compiler, the licences;
# and the NSIS installer that scripts/windows builds from it with CPack.
# A cross build has no windeployqt, so the files are listed here.

# Qt's libraries, and the plugins that Qt loads from beside the program:
# the windows platform, the Windows style, and the SVG icon engine and image
# format that draw every icon (each needs Qt6Svg).
foreach(library Core Gui Widgets SerialPort Svg)
    install(FILES $<TARGET_FILE:Qt6::${library}> DESTINATION .)
endforeach()
foreach(plugin platforms/QWindowsIntegrationPlugin styles/QModernWindowsStylePlugin
               iconengines/QSvgIconPlugin imageformats/QSvgPlugin)
    get_filename_component(folder ${plugin} DIRECTORY)
    get_filename_component(target ${plugin} NAME)
    install(FILES $<TARGET_FILE:Qt6::${target}> DESTINATION ${folder})
endforeach()

# The compiler's runtime, stripped: unstripped, libstdc++ alone is 26 MB.
# Without one of these the program ends before main with no word.
set(NORVEX_RUNTIME_DIR ${CMAKE_BINARY_DIR}/runtime)
set(runtime_files)
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        message(FATAL_ERROR "The compiler has no ${dll}")
    endif()
    add_custom_command(OUTPUT ${NORVEX_RUNTIME_DIR}/${dll}
                       COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${NORVEX_RUNTIME_DIR}/${dll} ${found}
                       DEPENDS ${found} VERBATIM)
    list(APPEND runtime_files ${NORVEX_RUNTIME_DIR}/${dll})
endforeach()
add_custom_target(norvex_runtime ALL DEPENDS ${runtime_files})
install(FILES ${runtime_files} DESTINATION .)
# The tests under wine load these same copies.
set(NORVEX_RUNTIME_DIR ${NORVEX_RUNTIME_DIR} PARENT_SCOPE)

# The console's own terms, those of Qt (LGPL 3, which builds on GPL 3), of
# the third-party code compiled into Qt (packaging/windows/qt-build keeps a notice
# for each, with its index, beside Qt) and of the compiler's runtime (GCC's
# runtime library exception; winpthreads in mingw-w64's terms); an index.
install(FILES copyright DESTINATION . RENAME LICENSE.txt)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licenses RENAME Qt-LGPL-3.0.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses RENAME GPL-3.0.txt)
if(NOT EXISTS ${QT6_INSTALL_PREFIX}/licenses/index.txt)
    message(FATAL_ERROR "Qt in ${QT6_INSTALL_PREFIX} has no notices of its third-party code: "
                        "packaging/windows/qt-build collects them when it builds Qt")
endif()
install(DIRECTORY ${QT6_INSTALL_PREFIX}/licenses/ DESTINATION licenses/Qt-third-party)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
        RENAME GCC-runtime-library.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
        RENAME mingw-w64-winpthreads.txt)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/licenses-index.txt
"The terms of what this folder's program holds:

..\\LICENSE.txt                Norvex
Qt-LGPL-3.0.txt, GPL-3.0.txt  Qt (Qt6*.dll and the plugins' folders)
Qt-third-party\\index.txt      the third-party code compiled into Qt
GCC-runtime-library.txt       libgcc_s_seh-1.dll, libstdc++-6.dll
mingw-w64-winpthreads.txt     libwinpthread-1.dll
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/licenses-index.txt DESTINATION licenses RENAME index.txt)

# The installer: norvex-<version>-win64.exe, 64-bit (Debian's NSIS builds a
# 32-bit one by default, which a 64-bit-only Windows or wine cannot start),
# for all users, into Program Files\Norvex, with a Start-menu entry and an
# uninstaller in Add/Remove Programs. It ends without "Run Norvex": the
# console would run with the installer's administrator rights.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Norvex)
set(CPACK_PACKAGE_VENDOR "Norvex Team")
set(CPACK_PACKAGE_FILE_NAME norvex-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Norvex)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Norvex)
set(CPACK_PACKAGE_EXECUTABLES norvex Norvex)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/copyright)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Norvex)
set(CPACK_NSIS_PACKAGE_NAME Norvex)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME norvex.exe)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(NORVEX_WINDOWS_ICON ${PROJECT_SOURCE_DIR}/Project/app/norvex.ico)
if(EXISTS ${NORVEX_WINDOWS_ICON})
    set(CPACK_NSIS_MUI_ICON ${NORVEX_WINDOWS_ICON})
    set(CPACK_NSIS_MUI_UNIICON ${NORVEX_WINDOWS_ICON})
endif()

# Neither the installer nor the uninstaller changes anything while a
# console runs from the installation (installer.nsh.in). CPack's
# template asks whether to uninstall an earlier version before its first
# page, where a Cancel later would leave nothing installed; the install
# section removes it instead.
# SetDateSave off: NSIS would keep each file's time, the build's, so that no
# two builds gave the same installer; installed files take the install's.
configure_file(windows/installer.nsh.in windows-installer.nsh @ONLY)
set(CPACK_NSIS_DEFINES "Target amd64-unicode
SetDateSave off
!include '${CMAKE_CURRENT_BINARY_DIR}/windows-installer.nsh'")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "Call norvexWaitUntilClosed
  Call norvexRemoveEarlier")
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in template)
# norvex_template_replace(TEXT REPLACEMENT): in the template, which must
# hold TEXT.
function(norvex_template_replace text replacement)
    string(FIND "${template}" "${text}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "CMake's NSIS template has no \"${text}\"")
    endif()
    string(REPLACE "${text}" "${replacement}" template "${template}")
    set(template "${template}" PARENT_SCOPE)
endfunction()
# The checks go first: in the initialisations, in the uninstall section,
# and in the install section before SetOutPath makes the folder.
norvex_template_replace("Function .onInit\n" "Function .onInit\n  Call norvexWaitUntilClosed\n")
norvex_template_replace("Function un.onInit\n"
                        "Function un.onInit\n  Call un.norvexCheckFolder\n  Call un.norvexWaitUntilClosed\n")
norvex_template_replace("Section \"Uninstall\"\n" "Section \"Uninstall\"\n  Call un.norvexWaitUntilClosed\n")
norvex_template_replace("  SetOutPath \"$INSTDIR\"\n  @CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS@\n"
                        "  @CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS@\n  SetOutPath \"$INSTDIR\"\n")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/nsis/NSIS.template.in "${template}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_BINARY_DIR}/nsis)

set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
