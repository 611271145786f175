# comflash_embed_image(TARGET FIRMWARE)
#
# Builds the static library TARGET that provides BuiltInImageSource: the
# firmware file FIRMWARE (raw binary or Intel HEX) is enciphered by
# comflash-pack at build time and its text built into every program that links
# TARGET: on Windows as the resource RESLABEL of type MYTEXT, elsewhere as
# linked-in data. A changed firmware file, or a changed packer, makes the text
# and the library again.

include(${CMAKE_CURRENT_LIST_DIR}/HostTools.cmake)
if(WIN32)
    enable_language(RC)
endif()

# Windows: a resource script names the text, the resource compiler builds it
# in. The resource object is handed to each program's link directly: nothing
# refers to it by symbol, so from inside an archive it would be left out.
function(_comflash_embed_as_resource target text)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
    file(CONFIGURE OUTPUT "${script}"
         CONTENT "// Made by EmbedImage.cmake: the built-in image text.\nRESLABEL MYTEXT \"@text@\"\n"
         @ONLY)
    add_library(${target}_resource OBJECT "${script}" "${text}")
    # The resource compiler reads the text, which no dependency scan sees.
    set_source_files_properties("${script}" TARGET_DIRECTORY ${target}_resource
                                PROPERTIES OBJECT_DEPENDS "${text}")

    add_library(${target} STATIC "${PROJECT_SOURCE_DIR}/image/builtin_image_source_win32.cpp")
    target_link_libraries(${target} PUBLIC comflash_core
                          INTERFACE $<TARGET_OBJECTS:${target}_resource>)
    add_dependencies(${target} ${target}_resource)
endfunction()

# Elsewhere: the assembler copies the text into read-only data.
function(_comflash_embed_as_data target text)
    set(source "${PROJECT_SOURCE_DIR}/image/builtin_image_source_posix.cpp")
    add_library(${target} STATIC "${source}" "${text}")
    target_link_libraries(${target} PUBLIC comflash_core)
    # The text is read by the assembler, which the compiler's own dependency
    # scan does not see.
    set_source_files_properties("${source}" TARGET_DIRECTORY ${target}
                                PROPERTIES OBJECT_DEPENDS "${text}")
    target_compile_definitions(${target} PRIVATE COMFLASH_BUILTIN_IMAGE_TEXT="${text}")
    # The assembler reads the text behind the compiler cache's back: a cached
    # object would keep an image that has since changed.
    set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER "")
endfunction()

function(comflash_embed_image target firmware)
    if(NOT EXISTS "${firmware}" OR IS_DIRECTORY "${firmware}")
        message(FATAL_ERROR "COMFLASH_FIRMWARE names '${firmware}', which is not a file: "
                            "set it to the firmware to embed (raw binary or Intel HEX)")
    endif()
    comflash_host_tool(comflash-pack packer packer_depends)
    set(text "${CMAKE_CURRENT_BINARY_DIR}/${target}.txt")
    add_custom_command(
        OUTPUT "${text}"
        COMMAND "${packer}" encode "${firmware}" "${text}"
        DEPENDS ${packer_depends} "${firmware}"
        COMMENT "Enciphering ${firmware} into the built-in image text"
        VERBATIM)

    if(WIN32)
        _comflash_embed_as_resource(${target} "${text}")
    else()
        _comflash_embed_as_data(${target} "${text}")
    endif()
    get_filename_component(firmware_name "${firmware}" NAME)
    # --version names it, so that a build can be traced to its firmware.
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/image/builtin_image_info.cpp")
    target_compile_definitions(${target} PRIVATE COMFLASH_BUILTIN_FIRMWARE_NAME="${firmware_name}")
endfunction()
