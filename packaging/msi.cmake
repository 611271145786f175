# Run by cpack's External generator (cpack -G External in the mingw build)
# once it has installed the Windows programs, stripped, into its staging
# folder: wixl makes the MSI of them, and cpack copies it into packages/
# (beside the generator's own description of the package, a .json file).
# CPACK_COMFLASH_WIXL and CPACK_COMFLASH_WXS come from packaging/CMakeLists.txt.
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
# wixl looks for every File's Source in the folder it runs in.
execute_process(
    COMMAND "${CPACK_COMFLASH_WIXL}" --arch x64 --output "${msi}" "${CPACK_COMFLASH_WXS}"
    WORKING_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "wixl could not make ${msi} (status ${status}):\n${output}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
