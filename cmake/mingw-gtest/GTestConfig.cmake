# find_package(GTest) for the Windows cross build: there is no GoogleTest
# built for the target, so Debian's sources (libgtest-dev) are built here with
# the cross compiler, once, into their own binary folder. The targets carry the
# names of GoogleTest's own package, so the tests link alike on both builds.
set(COMFLASH_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for the target")
if(NOT EXISTS "${COMFLASH_GTEST_SOURCE}/CMakeLists.txt")
    set(GTest_FOUND FALSE)
    set(GTest_NOT_FOUND_MESSAGE
        "no GoogleTest sources at ${COMFLASH_GTEST_SOURCE}: install libgtest-dev or set COMFLASH_GTEST_SOURCE")
    return()
endif()

if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    # EXCLUDE_FROM_ALL: only what a test links is built.
    add_subdirectory("${COMFLASH_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    # Not our code: its warnings are not ours to fix.
    foreach(library gtest gtest_main gmock gmock_main)
        target_compile_options(${library} PRIVATE -w)
    endforeach()
endif()

foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
        add_library(GTest::${library} ALIAS ${library})
    endif()
endforeach()
set(GTest_FOUND TRUE)
