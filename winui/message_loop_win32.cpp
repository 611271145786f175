#include "winui/message_loop_win32.h"

#include "winui/program_output_win32.h"
#include "winui/window_picture_win32.h"

namespace comflash::winui {
namespace {

// Time for the last log line and counters to be drawn before the picture.
constexpr UINT kPictureSettleMs = 500;

PictureWhen* pending = nullptr;  // the one picture a program takes

}  // namespace

int RunMessageLoop(HWND window) {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

PictureWhen::PictureWhen(HWND window, std::string file, std::string program)
    : window_(window), file_(std::move(file)), program_(std::move(program)) {
    pending = this;
}

PictureWhen::~PictureWhen() {
    if (timer_ != 0)
        KillTimer(nullptr, timer_);
    pending = nullptr;
}

void PictureWhen::Take() {
    if (asked_)
        return;
    asked_ = true;
    timer_ = SetTimer(nullptr, 0, kPictureSettleMs, &OnTimer);
}

void CALLBACK PictureWhen::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (pending != nullptr) {
        pending->timer_ = 0;
        pending->Save();
    }
}

void PictureWhen::Save() {
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::string why;
    saved_ = SaveWindowPicture(window_, file_, why);
    if (!saved_) {
        SayOnConsoleOrInABox(program_,
                             program_ + ": cannot save the picture as " + file_ + ": " + why +
                                 "\n",
                             Said::Mistake);
    }
    PostQuitMessage(0);
}

}  // namespace comflash::winui
