# The compiler cache (Debian ccache), when COMFLASH_CCACHE is on, as the
# presets set it. Paths under the source folder are made relative before they
# are hashed (base_dir) and the build folder's own path is left out of the
# hash (hash_dir off), so a clone of these sources in another folder, built by
# the same preset, compiles to what the cache already holds. Set CCACHE_DIR to
# share one cache between clones; ccache's own default is per user.
option(COMFLASH_CCACHE "Compile through ccache" OFF)
if(NOT COMFLASH_CCACHE)
    return()
endif()
find_program(COMFLASH_CCACHE_PROGRAM ccache)
if(NOT COMFLASH_CCACHE_PROGRAM)
    message(WARNING "COMFLASH_CCACHE is on but ccache is not installed: run scripts/install-deps")
    return()
endif()
# ccache 4.7 takes its settings from the environment, not from its command line.
set(CMAKE_CXX_COMPILER_LAUNCHER
    ${CMAKE_COMMAND} -E env "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}" CCACHE_NOHASHDIR=1
    ${COMFLASH_CCACHE_PROGRAM})
