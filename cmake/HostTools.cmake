# comflash_host_tool(NAME PATH_VAR DEPENDS_VAR)
#
# A cross build cannot run the programs it makes without an emulator, yet it
# needs two of ours on the build machine: comflash-pack, which enciphers the
# built-in image, and comflash-sim, which plays the devices of the Windows
# end-to-end tests. They come from COMFLASH_HOST_BUILD when that names a native
# build folder of these sources, else from a native build made here
# (build folder "host-tools"). Running the Windows packer under Wine instead
# would make every build need a Wine prefix.
#
# PATH_VAR receives the program's path, DEPENDS_VAR what a custom command or
# test that runs it depends on. In a native build both are the target itself.

set(COMFLASH_HOST_BUILD "" CACHE PATH
    "Native build folder of these sources whose comflash-pack and comflash-sim a cross build uses (empty: build them here)")

function(comflash_host_tool name path_var depends_var)
    if(name STREQUAL "comflash-pack")
        set(folder tools/pack)
    elseif(name STREQUAL "comflash-sim")
        set(folder tools/sim)
    else()
        message(FATAL_ERROR "comflash_host_tool: no host tool named '${name}'")
    endif()

    if(NOT CMAKE_CROSSCOMPILING)
        set(${path_var} ${name} PARENT_SCOPE)
        set(${depends_var} ${name} PARENT_SCOPE)
        return()
    endif()

    if(COMFLASH_HOST_BUILD)
        set(program "${COMFLASH_HOST_BUILD}/${folder}/${name}")
        if(NOT EXISTS "${program}")
            message(FATAL_ERROR "COMFLASH_HOST_BUILD is '${COMFLASH_HOST_BUILD}', which has no "
                                "${folder}/${name}: build it first (cmake --build "
                                "${COMFLASH_HOST_BUILD} --target ${name}), or leave "
                                "COMFLASH_HOST_BUILD empty")
        endif()
        set(${path_var} "${program}" PARENT_SCOPE)
        set(${depends_var} "${program}" PARENT_SCOPE)
        return()
    endif()

    set(host_dir "${CMAKE_BINARY_DIR}/host-tools")
    if(NOT TARGET comflash-host-tools)
        include(ExternalProject)
        # Only the two programs, not the whole native tree, built as the
        # default preset builds them (GCC 12 at -O3 warns falsely in the
        # simulator). MAKEFLAGS is cleared: the outer make's job slots do not
        # reach a build started this way, and it would say so on every build.
        ExternalProject_Add(comflash-host-tools
            SOURCE_DIR "${PROJECT_SOURCE_DIR}"
            BINARY_DIR "${host_dir}"
            CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOMFLASH_BUILD_GUI=OFF
                       -DCOMFLASH_BUILD_TESTS=OFF -DCOMFLASH_BUILD_BENCH=OFF
            BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS
                          ${CMAKE_COMMAND} --build "${host_dir}" --target comflash-pack comflash-sim
            BUILD_BYPRODUCTS "${host_dir}/tools/pack/comflash-pack" "${host_dir}/tools/sim/comflash-sim"
            INSTALL_COMMAND ""
            BUILD_ALWAYS TRUE)
    endif()
    set(${path_var} "${host_dir}/${folder}/${name}" PARENT_SCOPE)
    set(${depends_var} comflash-host-tools "${host_dir}/${folder}/${name}" PARENT_SCOPE)
endfunction()
