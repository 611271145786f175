#include "winui/window_picture_win32.h"

#include <wincodec.h>

#include <cstdint>
#include <vector>

namespace comflash::winui {
namespace {

// Releases a COM interface when it goes.
template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    Interface** Out() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

std::wstring Wide(const std::string& text) {
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(wide.size() - 1);
    return wide;
}

// The pixels of the window's client area (the frame and caption are the
// system's), top row first, 32 bits each (blue, green, red, alpha). BitBlt
// from the window's own drawing surface: PrintWindow draws nothing on some
// systems (Wine among them).
bool CopyPixels(HWND window, int& width, int& height, std::vector<std::uint8_t>& pixels) {
    RECT client{};
    if (!GetClientRect(window, &client))
        return false;
    width = client.right;
    height = client.bottom;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (bitmap != nullptr) {
        const HGDIOBJ before = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        SelectObject(memory, before);
        const auto* first = static_cast<const std::uint8_t*>(bits);
        pixels.assign(first, first + static_cast<std::size_t>(width) * height * 4);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, source);
    // The screen has no alpha: opaque, or the encoder writes a clear picture.
    for (std::size_t i = 3; i < pixels.size(); i += 4)
        pixels[i] = 0xFF;
    return copied;
}

bool EncodePng(const std::string& file, int width, int height, std::vector<std::uint8_t>& pixels,
               std::string& why) {
    ComPointer<IWICImagingFactory> factory;
    ComPointer<IWICStream> stream;
    ComPointer<IWICBitmapEncoder> encoder;
    ComPointer<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    const auto failed = [&](const char* step, HRESULT result) {
        why = std::string(step) + " failed (HRESULT 0x" +
              [](unsigned long value) {
                  char text[16];
                  wsprintfA(text, "%08lX", value);
                  return std::string(text);
              }(static_cast<unsigned long>(result)) +
              ")";
        return false;
    };
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(factory.Out()));
    if (FAILED(result))
        return failed("making the imaging factory", result);
    if (FAILED(result = factory->CreateStream(stream.Out())) ||
        FAILED(result = stream->InitializeFromFilename(Wide(file).c_str(), GENERIC_WRITE)))
        return failed("opening the picture's file", result);
    if (FAILED(result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) ||
        FAILED(result = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(result = encoder->CreateNewFrame(frame.Out(), nullptr)) ||
        FAILED(result = frame->Initialize(nullptr)) ||
        FAILED(result = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
        FAILED(result = frame->SetPixelFormat(&format)))
        return failed("preparing the PNG encoder", result);
    const UINT stride = static_cast<UINT>(width) * 4;
    if (FAILED(result = frame->WritePixels(static_cast<UINT>(height), stride,
                                           static_cast<UINT>(pixels.size()), pixels.data())) ||
        FAILED(result = frame->Commit()) || FAILED(result = encoder->Commit()))
        return failed("writing the PNG", result);
    return true;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& file, std::string& why) {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    if (!CopyPixels(window, width, height, pixels)) {
        why = "the window's pixels cannot be copied";
        return false;
    }
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool saved = EncodePng(file, width, height, pixels, why);
    if (SUCCEEDED(started))
        CoUninitialize();
    return saved;
}

}  // namespace comflash::winui
