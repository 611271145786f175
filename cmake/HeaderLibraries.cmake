# The header-only libraries the programs use: CLI11 for the command lines and
# nlohmann/json wherever JSON is written or read. Both come from the build
# machine's Debian packages (libcli11-dev, nlohmann-json3-dev) and are copied
# into the build folder, each folder alone: a cross build then sees these
# headers and nothing else of the build machine's /usr/include, whose C
# library headers do not fit the target.
#
# Targets: comflash_cli11, comflash_json.

set(COMFLASH_HEADER_ROOT "/usr/include" CACHE PATH
    "Folder that holds CLI/CLI.hpp and nlohmann/json.hpp on the build machine")

function(_comflash_header_library target folder probe package)
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

_comflash_header_library(comflash_cli11 CLI CLI.hpp libcli11-dev)
_comflash_header_library(comflash_json nlohmann json.hpp nlohmann-json3-dev)
