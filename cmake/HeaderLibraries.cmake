# The header-only libraries the programs use: CLI11 for the command lines and
# nlohmann/json wherever JSON is written or read (Debian: libcli11-dev,
# nlohmann-json3-dev).
#
# A native build takes them as CMake packages. A cross build (mingw-w64)
# takes the build machine's headers, copied into the build folder each folder
# alone (CLI/, nlohmann/): the target's compiler then sees these headers and
# nothing else of the build machine's /usr/include, whose C library headers
# do not fit the target.
#
# Targets: comflash_cli11, comflash_json.

set(COMFLASH_HEADER_ROOT "/usr/include" CACHE PATH
    "Cross builds: the build machine's folder that holds CLI/CLI.hpp and nlohmann/json.hpp")

function(_comflash_copied_headers target folder probe package)
    set(source "${COMFLASH_HEADER_ROOT}/${folder}")
    if(NOT EXISTS "${source}/${probe}")
        message(FATAL_ERROR "${source}/${probe} not found: install ${package} "
                            "(scripts/install-deps does)")
    endif()
    set(copy_root "${CMAKE_BINARY_DIR}/header-libraries")
    file(COPY "${source}" DESTINATION "${copy_root}")
    add_library(${target} INTERFACE)
    # SYSTEM: their own warnings are not ours to fix.
    target_include_directories(${target} SYSTEM INTERFACE "${copy_root}")
endfunction()

function(_comflash_package_headers target package imported debian)
    find_package(${package} CONFIG QUIET)
    if(NOT TARGET ${imported})
        message(FATAL_ERROR "${package} not found: install ${debian} (scripts/install-deps "
                            "does), or name its folder in CMAKE_PREFIX_PATH")
    endif()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${imported})
endfunction()

if(CMAKE_CROSSCOMPILING)
    _comflash_copied_headers(comflash_cli11 CLI CLI.hpp libcli11-dev)
    _comflash_copied_headers(comflash_json nlohmann json.hpp nlohmann-json3-dev)
else()
    _comflash_package_headers(comflash_cli11 CLI11 CLI11::CLI11 libcli11-dev)
    _comflash_package_headers(comflash_json nlohmann_json nlohmann_json::nlohmann_json
                              nlohmann-json3-dev)
endif()
