// A window of its own for each test: a fresh settings folder, the real
// settings file, real pseudo-terminals behind the port names, and an operator
// who answers the boxes.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "gui/main_window.h"
#include "image/builtin_image_source.h"
#include "image/image_source.h"
#include "tests/gui/box_answerer.h"
#include "tests/support/patience.h"

namespace comflash::guitest {

// Generous: a loaded two-core machine may be slow; waits end as soon as the
// awaited thing happens.
inline const int kPatienceMs = testing::PatienceMs(20000);

// A pseudo-terminal: the test holds the device end, the window opens the
// other end by its path.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& PortPath() const { return path_; }
    void Write(const std::vector<std::uint8_t>& bytes) const;
    // What has arrived from the window so far, without waiting.
    std::vector<std::uint8_t> ReadAvailable() const;

private:
    int device_ = -1;
    std::string path_;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    ~WindowTest() override;

    // Builds the window, which runs its start-up; again for a restart.
    TForm1& Start(const ImageSource& image);
    TForm1& Start() { return Start(builtInImage_); }
    TForm1& Window() { return *window_; }

    // The settings as the store keeps them; nullopt when a value is absent.
    void Store(const std::string& name, const std::string& text) const;
    std::optional<std::string> Stored(const std::string& name) const;
    // Marks the settings file so that WrittenSinceMark tells whether any
    // value was stored after this call (every store rewrites the whole file).
    void MarkSettings() const;
    bool WrittenSinceMark() const;

    // COMn leads to `path` through the port map.
    void MapPort(const std::string& name, const std::string& path) const;

    QStringList LogLines() const;

    BoxAnswerer boxes_;

private:
    std::filesystem::path SettingsFile() const;

    QTemporaryDir home_;
    std::optional<std::string> savedConfigHome_;
    BuiltInImageSource builtInImage_;
    std::unique_ptr<TForm1> window_;
};

// An image resource that is there but does not decode: the image stays empty.
inline const MemoryImageSource kEmptyImage{""};
// No image resource at all.
inline const MemoryImageSource kNoImageResource{"OTHER", "MYTEXT", ""};

}  // namespace comflash::guitest
