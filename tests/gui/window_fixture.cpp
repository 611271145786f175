#include "tests/gui/window_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/settings_file.h"
#include "app/settings_store.h"
#include "app/settings_folder.h"

namespace comflash::guitest {
namespace {

constexpr char kMark[] = "# not written since the mark\n";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    device_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (device_ < 0 || ::grantpt(device_) != 0 || ::unlockpt(device_) != 0 ||
        ::ptsname_r(device_, name, sizeof name) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    path_ = name;
    ::fcntl(device_, F_SETFL, ::fcntl(device_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    ::close(device_);
}

void PseudoTerminal::Write(const std::vector<std::uint8_t>& bytes) const {
    if (::write(device_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write to the pseudo-terminal");
}

std::vector<std::uint8_t> PseudoTerminal::ReadAvailable() const {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    ssize_t count = 0;
    while ((count = ::read(device_, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    return bytes;
}

WindowTest::WindowTest() {
    if (!home_.isValid())
        throw std::runtime_error("cannot make a settings folder");
    if (const char* current = std::getenv("XDG_CONFIG_HOME"))
        savedConfigHome_ = current;
    ::setenv("XDG_CONFIG_HOME", home_.path().toStdString().c_str(), 1);
}

WindowTest::~WindowTest() {
    window_.reset();
    if (savedConfigHome_)
        ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TForm1& WindowTest::Start(const ImageSource& image) {
    window_.reset();  // a restart: the old window is gone before the new one starts
    window_ = std::make_unique<TForm1>(image);
    return *window_;
}

std::filesystem::path WindowTest::SettingsFile() const {
    return SettingsFolder() / "settings";
}

void WindowTest::Store(const std::string& name, const std::string& text) const {
    SettingsStore().WriteSetting(name, text);
}

std::optional<std::string> WindowTest::Stored(const std::string& name) const {
    if (!std::filesystem::exists(SettingsFile()))
        return std::nullopt;
    const SettingsValues values = ParseSettingsText(ReadFile(SettingsFile()));
    const auto found = values.find(name);
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

void WindowTest::MarkSettings() const {
    std::filesystem::create_directories(SettingsFolder());
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::app) << kMark;
}

bool WindowTest::WrittenSinceMark() const {
    return ReadFile(SettingsFile()).find(kMark) == std::string::npos;
}

void WindowTest::MapPort(const std::string& name, const std::string& path) const {
    std::filesystem::create_directories(SettingsFolder());
    std::ofstream(SettingsFolder() / "ports", std::ios::app) << name << '=' << path << '\n';
}

QStringList WindowTest::LogLines() const {
    const QString text = window_->Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

}  // namespace comflash::guitest
