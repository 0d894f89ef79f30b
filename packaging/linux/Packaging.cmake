# Installing the Linux tool: the executables, the udev rule that gives the
# seat's user access to the generator, the desktop entry and its icon; and a
# Debian package of the same through CPack.
include(GNUInstallDirs)

set(TPG_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the install prefix")

foreach(program trelvix-pulse-virtual trelvix-pulse-demo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-trelvix-pulse.rules DESTINATION ${TPG_UDEV_RULES_DIR})
# The SCPI server as a systemd template unit (instance: the serial number),
# off until the administrator enables it.
set(TPG_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Where the systemd unit goes, relative to the install prefix")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse-scpi@.service
        DESTINATION ${TPG_SYSTEMD_UNIT_DIR})
# The Tango device server as a template unit (instance: the server's
# instance name), off until enabled; only when it is built.
if(TARGET trelvix-pulse-tango)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse-tango@.service
          DESTINATION ${TPG_SYSTEMD_UNIT_DIR})
endif()
# The EPICS kit for the SCPI server: StreamDevice protocols, the record
# database and an example st.cmd, to copy into an IOC.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/packaging/epics/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/trelvix-pulse/epics)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trelvix-pulse.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The usual fixed sizes beside the SVG, made from it (cmake/Icons.cmake); the
# build makes them with everything else.
foreach(size ${TPG_ICON_SIZES})
  install(FILES ${TPG_ICON_DIR}/hicolor/${size}x${size}/apps/trelvix-pulse.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# The software centre's entry (AppStream): it offers the tool when a
# generator is plugged in.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/com.trelvix.pulse.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Completion of trelvix-pulse-cli's commands, options and settings in bash.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/trelvix-pulse-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The package's documents as Debian keeps them: the changelog and the man
# pages compressed with gzip -9n (no name or time stamp, so the same bytes on
# every build), the copyright file as it stands.
set(tpg_docs_dir ${PROJECT_BINARY_DIR}/packaging)
set(tpg_man_pages "")
foreach(program trelvix-pulse trelvix-pulse-cli trelvix-pulse-virtual trelvix-pulse-demo
        trelvix-pulse-tango)
  if(TARGET ${program})
    list(APPEND tpg_man_pages ${program}.1)
  endif()
endforeach()
set(tpg_gzipped "")
foreach(doc changelog ${tpg_man_pages})
  if(doc STREQUAL "changelog")
    set(source ${CMAKE_CURRENT_LIST_DIR}/changelog)
  else()
    set(source ${CMAKE_CURRENT_LIST_DIR}/man/${doc})
  endif()
  add_custom_command(OUTPUT ${tpg_docs_dir}/${doc}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${tpg_docs_dir}
                     COMMAND gzip -9n -c ${source} > ${tpg_docs_dir}/${doc}.gz
                     DEPENDS ${source} VERBATIM)
  list(APPEND tpg_gzipped ${tpg_docs_dir}/${doc}.gz)
endforeach()
add_custom_target(tpg_package_docs ALL DEPENDS ${tpg_gzipped})
install(FILES ${tpg_docs_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelvix-pulse)
# The user's guide the programs' messages point to ("see README"), and the
# pymeasure class for the server, which it describes.
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelvix-pulse)
install(FILES ${PROJECT_SOURCE_DIR}/examples/pymeasure/trelvix_pulse.py
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelvix-pulse/examples)
list(TRANSFORM tpg_man_pages PREPEND ${tpg_docs_dir}/)
list(TRANSFORM tpg_man_pages APPEND .gz)
install(FILES ${tpg_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "trelvix-pulse")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trelvix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tool for the Trelvix Pulse Generator")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A one-window desktop tool for the Trelvix Pulse Generator, a fast pulse
generator attached by USB as a HID device. It finds the generators among the
machine's HID devices, shows maker, product, version and serial number, reads
the chosen generator's settings into the window and sends every change back:
pulse frequency, amplitude, polarity, the trigger/sync connector's function
and the sync input frequency. It empties the window when the generator is
unplugged and fills it again when one comes back.

A udev rule gives the user at the seat access to the generator, so the tool
needs no root. trelvix-pulse-cli reads and changes the same settings from
scripts, with exit statuses and JSON output, and serves one generator as an
SCPI instrument over TCP (a systemd unit, off by default, does so from
boot). trelvix-pulse-tango is a Tango device server of the generators, and
an EPICS StreamDevice kit comes for the SCPI server. trelvix-pulse-demo opens
the window over simulated generators, and trelvix-pulse-virtual makes virtual
generators through uhid or USB/IP, for trying the tool without the instrument.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Trelvix tools team <tools@trelvix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The face the window is drawn with; without it Qt picks another sans serif.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed programs carry no symbols.
set(CPACK_STRIP_FILES ON)
include(CPack)
