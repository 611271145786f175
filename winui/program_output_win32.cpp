#include "winui/program_output_win32.h"

#include <windows.h>

namespace comflash::winui {
namespace {

bool Usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool Write(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    // A console takes the text as it is; a file or pipe gets the same bytes.
    if (GetFileType(handle) == FILE_TYPE_CHAR &&
        WriteConsoleA(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return true;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

}  // namespace

bool SayOnConsole(const std::string& text, Said said) {
    const DWORD which = said == Said::Mistake ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    // Output handed over (a pipe, a file, a script's capture) comes first;
    // a window program has no console of its own, but may borrow the one it
    // was started from.
    HANDLE handle = GetStdHandle(which);
    if (!Usable(handle) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        handle = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return Usable(handle) && Write(handle, text);
}

void SayOnConsoleOrInABox(const std::string& program, const std::string& text, Said said) {
    if (SayOnConsole(text, said))
        return;
    MessageBoxA(nullptr, text.c_str(), program.c_str(),
                MB_OK | (said == Said::Mistake ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace comflash::winui
