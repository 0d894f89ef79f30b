# Header-only libraries from Debian's packages, usable by the native and the
# mingw-w64 build alike. The cross build must not search the host's
# /usr/include (its C library headers would shadow mingw's), so each library
# is reached through a directory that holds only that library: stb's own
# folder, and for nlohmann-json (included as <nlohmann/json.hpp>) a folder
# in the build tree with a link to it.
find_path(TPG_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
find_path(TPG_STB_DIR stb_image_write.h PATHS /usr/include/stb NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT TPG_NLOHMANN_JSON_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev "
                      "(scripts/install-deps.sh)")
endif()

set(TPG_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third-party-include)
file(MAKE_DIRECTORY ${TPG_THIRD_PARTY_INCLUDE})
file(CREATE_LINK ${TPG_NLOHMANN_JSON_DIR}/nlohmann ${TPG_THIRD_PARTY_INCLUDE}/nlohmann SYMBOLIC)
add_library(tpg_nlohmann_json INTERFACE)
target_include_directories(tpg_nlohmann_json SYSTEM INTERFACE ${TPG_THIRD_PARTY_INCLUDE})

# Only the Windows test suites write PNG files; the target exists when the
# header is installed (scripts/install-windows-deps.sh).
if(TPG_STB_DIR)
  add_library(tpg_stb INTERFACE)
  target_include_directories(tpg_stb SYSTEM INTERFACE ${TPG_STB_DIR})
endif()
