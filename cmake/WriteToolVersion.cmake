# Run at every build (cmake -P): writes the tool's version into OUTPUT, a C++
# source, and touches it only when the text changes, so that an unchanged
# version rebuilds nothing.
#
# The version is the project version, followed by the checkout's
# `git describe --always --dirty` when the sources are one (a source archive
# without git gives the project version alone).
#
# Variables: SOURCE_DIR, PROJECT_VERSION, OUTPUT.

set(version "${PROJECT_VERSION}")
find_program(git_program git)
if(git_program)
    execute_process(
        COMMAND "${git_program}" -C "${SOURCE_DIR}" describe --always --dirty
        OUTPUT_VARIABLE described
        RESULT_VARIABLE status
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
    if(status EQUAL 0 AND NOT described STREQUAL "")
        set(version "${PROJECT_VERSION} (git ${described})")
    endif()
endif()

set(content "// Made by cmake/WriteToolVersion.cmake at build time.
#include \"frontend/tool_version.h\"

namespace comflash {

const char* ToolVersion() {
    return \"${version}\";
}

}  // namespace comflash
")
file(WRITE "${OUTPUT}.new" "${content}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
