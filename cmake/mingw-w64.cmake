# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The -posix
# compilers are the ones whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(COMFLASH_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${COMFLASH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COMFLASH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${COMFLASH_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${COMFLASH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the executables run without the mingw runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# GoogleTest is built from Debian's sources for the target (see GTestConfig.cmake).
set(GTest_DIR "${CMAKE_CURRENT_LIST_DIR}/mingw-gtest" CACHE PATH "GoogleTest package for the target")

# Tests run under Wine, in a prefix of the build's own that a fresh build
# folder starts without.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine-prefix")
