// The Windows windows' message loop, and a picture of a window taken once it
// has been drawn, after which the program ends (--screenshot).
#pragma once

#include <windows.h>

#include <string>

namespace comflash::winui {

// Runs until the window's program quits; the exit status it quit with. Tab
// and the arrow keys move between the window's controls.
int RunMessageLoop(HWND window);

class PictureWhen {
public:
    PictureWhen(HWND window, std::string file, std::string program);
    ~PictureWhen();
    PictureWhen(const PictureWhen&) = delete;
    PictureWhen& operator=(const PictureWhen&) = delete;

    // A moment from now, once what changed last is drawn: the picture, then
    // the program quits. Only the first call counts.
    void Take();
    // The program's exit status: 1 when the picture could not be saved.
    int Status(int loopStatus) const { return saved_ ? loopStatus : 1; }

private:
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    void Save();

    HWND window_;
    std::string file_;
    std::string program_;
    UINT_PTR timer_ = 0;
    bool saved_ = false;
    bool asked_ = false;
};

}  // namespace comflash::winui
