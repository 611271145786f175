# comflash_embed_image(TARGET FIRMWARE)
#
# Builds the static library TARGET that provides BuiltInImageSource: the
# firmware file FIRMWARE (raw binary or Intel HEX) is enciphered by
# comflash-pack at build time and its text linked into the library. A changed
# firmware file, or a changed packer, makes the text and the library again.
function(comflash_embed_image target firmware)
    if(NOT EXISTS "${firmware}" OR IS_DIRECTORY "${firmware}")
        message(FATAL_ERROR "COMFLASH_FIRMWARE names '${firmware}', which is not a file: "
                            "set it to the firmware to embed (raw binary or Intel HEX)")
    endif()
    set(text "${CMAKE_CURRENT_BINARY_DIR}/${target}.txt")
    add_custom_command(
        OUTPUT "${text}"
        COMMAND comflash-pack encode "${firmware}" "${text}"
        DEPENDS comflash-pack "${firmware}"
        COMMENT "Enciphering ${firmware} into the built-in image text"
        VERBATIM)

    set(source "${PROJECT_SOURCE_DIR}/image/builtin_image_source_posix.cpp")
    add_library(${target} STATIC "${source}" "${text}")
    target_link_libraries(${target} PUBLIC comflash_core)
    # The text is read by the assembler, which the compiler's own dependency
    # scan does not see.
    set_source_files_properties("${source}" TARGET_DIRECTORY ${target}
                                PROPERTIES OBJECT_DEPENDS "${text}")
    target_compile_definitions(${target} PRIVATE COMFLASH_BUILTIN_IMAGE_TEXT="${text}")
endfunction()
