# SPDX-License-Identifier: BSD-2-Clause
# A Windows build finds Qt in the prefix that tools/build-qt-mingw.sh made, and runs its
# programs (tests, the smoke test) under Wine through a wrapper that knows where the
# MinGW runtime DLLs and Qt's lie.
set(TARNEX_QT_MINGW "" CACHE PATH "Where Qt 6 for MinGW is installed (tools/build-qt-mingw.sh)")
if(TARNEX_QT_MINGW)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TARNEX_QT_MINGW})
  list(APPEND CMAKE_PREFIX_PATH ${TARNEX_QT_MINGW})
endif()
# Qt's own headers draw "redeclared without dllimport" from GCC for MinGW, and GCC 12's
# std::string a false -Wrestrict at -O3.
add_compile_options(-Wno-attributes -Wno-restrict)
set(TARNEX_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine)

set(wine_dirs "")
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(dll_dir ${dll_path} DIRECTORY)
  list(APPEND wine_dirs "Z:${dll_dir}")
  list(APPEND TARNEX_RUNTIME_DLLS ${dll_path})
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND TARNEX_RUNTIME_DLLS ${dll_path})
if(TARNEX_QT_MINGW)
  list(APPEND wine_dirs "Z:${TARNEX_QT_MINGW}/bin")
endif()
list(JOIN wine_dirs ";" TARNEX_WINE_PATH)

configure_file(${PROJECT_SOURCE_DIR}/tools/wine-run.in ${PROJECT_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)
