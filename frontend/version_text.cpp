#include "frontend/version_text.h"

#include "frontend/tool_version.h"

namespace comflash {

std::string VersionText(std::string_view program) {
    return std::string(program) + " " + ToolVersion() + "\n";
}

std::string VersionText(std::string_view program, const std::optional<ImageInfo>& builtIn) {
    if (!builtIn)
        return VersionText(program) +
               "built-in image: none that loads (the build's text is damaged)\n";
    return VersionText(program) + "built-in image:\n" + ImageInfoText(*builtIn, "  ");
}

}  // namespace comflash
