// The version of this build of the tools: the project version, and the git
// description of the checkout it was built from ("0.1.0 (git 84e99c8-dirty)").
// Computed at build time, so it follows every commit without a new configure.
#pragma once

namespace comflash {

const char* ToolVersion();

}  // namespace comflash
