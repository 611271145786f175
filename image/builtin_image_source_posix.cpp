// The built-in image text as linked-in data: the assembler copies the text
// file made at build time into read-only data, so the program needs no file
// beside it. COMFLASH_BUILTIN_IMAGE_TEXT is the path of that file.
#include "image/builtin_image_source.h"

#include <algorithm>
#include <cstdint>

#include "image/image_text_format.h"

#ifndef COMFLASH_BUILTIN_IMAGE_TEXT
#error "COMFLASH_BUILTIN_IMAGE_TEXT must name the image text file to embed"
#endif

asm(".section .rodata\n"
    ".global comflash_builtin_image_text\n"
    ".hidden comflash_builtin_image_text\n"
    ".type comflash_builtin_image_text, @object\n"
    "comflash_builtin_image_text:\n"
    ".incbin \"" COMFLASH_BUILTIN_IMAGE_TEXT
    "\"\n"
    ".global comflash_builtin_image_text_end\n"
    ".hidden comflash_builtin_image_text_end\n"
    "comflash_builtin_image_text_end:\n"
    ".previous\n");

extern "C" const char comflash_builtin_image_text[];
extern "C" const char comflash_builtin_image_text_end[];

namespace comflash {

std::optional<std::string> BuiltInImageSource::Read(std::string_view name, std::string_view type,
                                                    std::size_t limit) const {
    if (!SameResourceId(name, kImageResourceName) || !SameResourceId(type, kImageResourceType)) {
        return std::nullopt;
    }
    // Two symbols, not one array: compare their addresses, not pointers.
    const std::size_t size = reinterpret_cast<std::uintptr_t>(comflash_builtin_image_text_end) -
                             reinterpret_cast<std::uintptr_t>(comflash_builtin_image_text);
    return std::string(comflash_builtin_image_text, std::min(size, limit));
}

}  // namespace comflash
