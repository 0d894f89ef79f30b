# The Linux executables: virtual generators on uhid, and the real tool once
# the Qt skin is there.
add_executable(trelvix-pulse-virtual virtual_generator_main.cpp)
target_link_libraries(trelvix-pulse-virtual PRIVATE tpg_hid_uhid tpg_hid_usbip)
target_compile_definitions(trelvix-pulse-virtual PRIVATE TPG_VERSION_TEXT="${PROJECT_VERSION}")
tpg_warnings(trelvix-pulse-virtual)
if(TPG_STATIC_GUEST)
  target_link_options(trelvix-pulse-virtual PRIVATE -static)  # also runs in the test guest
endif()


if(TARGET tpg_ui_qt)
  add_executable(trelvix-pulse linux_main.cpp)
  target_link_libraries(trelvix-pulse PRIVATE tpg_ui_qt tpg_hid_linux tpg_tool_arguments)
  tpg_warnings(trelvix-pulse)
  install(TARGETS trelvix-pulse RUNTIME DESTINATION bin)
endif()
