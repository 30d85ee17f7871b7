# SPDX-License-Identifier: BSD-2-Clause
# The zip a Windows user unpacks and runs: tarnex.exe and tarnex-log.exe with Qt's DLLs beside them (Qt is
# linked dynamically, so that its LGPL lets the user swap them), the MinGW runtime DLLs,
# the Windows platform plugin, and the notices for what it ships.
set(zip_name Tarnex-${PROJECT_VERSION}-windows-x64)
set(stage ${PROJECT_BINARY_DIR}/${zip_name})
set(qt_bin ${TARNEX_QT_MINGW}/bin)
set(qt_dlls ${qt_bin}/Qt6Core.dll ${qt_bin}/Qt6Gui.dll ${qt_bin}/Qt6Widgets.dll)
set(notices
  ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/res/fonts/DejaVu-LICENSE.txt
  ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
  ${PROJECT_SOURCE_DIR}/docs/windows/THIRD-PARTY.txt)
add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${stage}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/platforms ${stage}/licenses
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tarnex> $<TARGET_FILE:tarnex-log>
          ${TARNEX_RUNTIME_DLLS} ${qt_dlls} ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${TARNEX_QT_MINGW}/plugins/platforms/qwindows.dll
          ${stage}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy ${notices} ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy /usr/share/common-licenses/LGPL-3
          /usr/share/common-licenses/GPL-3 ${stage}/licenses
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_BINARY_DIR} zip -qr ${zip_name}.zip ${zip_name}
  DEPENDS tarnex tarnex-log
  COMMENT "Making ${zip_name}.zip"
  VERBATIM)
