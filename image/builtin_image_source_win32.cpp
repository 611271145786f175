// The built-in image text as the executable's own resource RESLABEL of type
// MYTEXT, which the build compiles in from a generated resource script.
#include <windows.h>

#include <algorithm>
#include <string>

#include "image/builtin_image_source.h"
#include "image/image_text_format.h"

namespace comflash {

std::optional<std::string> BuiltInImageSource::Read(std::string_view name, std::string_view type,
                                                    std::size_t limit) const {
    // The resource API would also answer numeric ids ("#24") and whatever
    // resources the linker adds (a manifest, for instance): only the image is
    // ours to hand out.
    if (!SameResourceId(name, kImageResourceName) || !SameResourceId(type, kImageResourceType)) {
        return std::nullopt;
    }
    const std::string resource_name(kImageResourceName);
    const std::string resource_type(kImageResourceType);
    HRSRC resource = ::FindResourceA(nullptr, resource_name.c_str(), resource_type.c_str());
    if (resource == nullptr)
        return std::nullopt;
    // A resource of the running executable is mapped with its image: the
    // handle needs no freeing and the bytes stay valid for the whole run.
    HGLOBAL loaded = ::LoadResource(nullptr, resource);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return std::nullopt;
    const std::size_t size = ::SizeofResource(nullptr, resource);
    return std::string(static_cast<const char*>(bytes), std::min(size, limit));
}

}  // namespace comflash
