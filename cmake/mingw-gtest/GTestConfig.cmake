# GoogleTest for the cross build: there is no prebuilt Windows library, so
# find_package(GTest) builds Debian's sources with the cross toolchain once
# and offers the same targets as the installed package does.
set(TPG_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")

if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TPG_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
endif()

foreach(lib gtest gtest_main gmock gmock_main)
  if(TARGET ${lib} AND NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

set(GTest_FOUND TRUE)
set(GTest_VERSION 1.12.1)
