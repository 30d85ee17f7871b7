# SPDX-License-Identifier: BSD-2-Clause
# The Windows installer, Tarnex-<version>-x64.msi, made by wixl (msitools) from
# res/windows/tarnex.wxs and the folder the zip is made of, so that both hold the same
# files. wixl takes sources relative to where it runs: the build folder.
set(msi_name Tarnex-${PROJECT_VERSION}-x64.msi)
add_custom_target(windows_msi
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/res/windows/tarnex.ico
          ${PROJECT_BINARY_DIR}/tarnex.ico
  COMMAND wixl -a x64 -D Version=${PROJECT_VERSION} -D SourceDir=${zip_name}
          -D IconFile=tarnex.ico -o ${msi_name} ${PROJECT_SOURCE_DIR}/res/windows/tarnex.wxs
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  DEPENDS windows_zip
  COMMENT "Making ${msi_name}"
  VERBATIM)
