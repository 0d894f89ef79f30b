# Installing the Linux tool: the executables, the udev rule that gives the
# seat's user access to the generator, the desktop entry and its icon; and a
# Debian package of the same through CPack.
include(GNUInstallDirs)

set(TPG_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the install prefix")

if(TARGET trelvix-pulse-virtual)
  install(TARGETS trelvix-pulse-virtual RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-trelvix-pulse.rules DESTINATION ${TPG_UDEV_RULES_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "trelvix-pulse")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trelvix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tool for the Trelvix Pulse Generator")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Trelvix tools team <tools@trelvix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The face the window is drawn with; without it Qt picks another sans serif.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
