# The Windows installer (.msi), made by wixl from the cross build's three
# executables and the icon; see trelvix-pulse.wxs. The executables stay in
# build/mingw/windows for people who want no installer.
set(TPG_MSI ${CMAKE_BINARY_DIR}/windows/trelvix-pulse-${PROJECT_VERSION}-x64.msi)
add_custom_command(OUTPUT ${TPG_MSI}
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-msi.sh ${PROJECT_VERSION}
          $<TARGET_FILE_DIR:trelvix-pulse> ${TPG_ICON_DIR}/trelvix-pulse.ico ${TPG_MSI}
  DEPENDS trelvix-pulse trelvix-pulse-demo trelvix-pulse-cli tpg_icons
          ${TPG_ICON_DIR}/trelvix-pulse.ico
          ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse.wxs ${CMAKE_CURRENT_LIST_DIR}/make-msi.sh
  COMMENT "Building the installer trelvix-pulse-${PROJECT_VERSION}-x64.msi" VERBATIM)
add_custom_target(trelvix-pulse-msi ALL DEPENDS ${TPG_MSI})
