# Every icon of the tool, made at build time from its one picture
# (packaging/linux/trelvix-pulse.svg) by scripts/make-icons.py: the menu
# icon's hicolor sizes, the Qt window's two 16-colour XPM images and the
# Windows .ico. The tools come from scripts/install-deps.sh and
# scripts/install-windows-deps.sh; a tree that builds no icon needs none.
set(TPG_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/linux/trelvix-pulse.svg)
set(TPG_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
set(TPG_ICON_SIZES 16 22 24 32 48 64 128 256)

# Debian's Pillow belongs to Debian's interpreter.
find_program(TPG_ICON_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT TPG_ICON_PYTHON)
  set(TPG_ICON_PYTHON /usr/bin/python3)
endif()

set(tpg_icon_outputs ${TPG_ICON_DIR}/window-32.xpm ${TPG_ICON_DIR}/window-16.xpm
    ${TPG_ICON_DIR}/trelvix-pulse.ico)
foreach(size ${TPG_ICON_SIZES})
  list(APPEND tpg_icon_outputs ${TPG_ICON_DIR}/hicolor/${size}x${size}/apps/trelvix-pulse.png)
endforeach()
add_custom_command(OUTPUT ${tpg_icon_outputs}
  COMMAND ${TPG_ICON_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/make-icons.py ${TPG_ICON_SVG}
          ${TPG_ICON_DIR}
  DEPENDS ${TPG_ICON_SVG} ${PROJECT_SOURCE_DIR}/scripts/make-icons.py
  COMMENT "Making the icons from trelvix-pulse.svg" VERBATIM)
add_custom_target(tpg_icons ALL DEPENDS ${tpg_icon_outputs})
