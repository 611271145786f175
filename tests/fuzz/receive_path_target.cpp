// Drives one UpdateSession from a fuzz input, standing in for the window: it
// is the session's host, hands it chunks and ticks, presses its buttons,
// answers its boxes and plays the device. While it does, it checks what the
// operator is promised:
//   - a device is counted good only on a checksum reply, in AwaitChecksum,
//     whose value is the CRC-16 of the image over ChecksumCount, after the
//     tool sent every byte of the image in this run;
//   - every frame handed to SendData is whole and well formed;
//   - without an image, no block and no EEPROM init is ever sent;
//   - the progress stays within 0 to 100, the rate is 9600 or 38400;
//   - a session that awaits a reply always has its time-out running.
// Reads beyond a chunk are left to AddressSanitizer: each chunk is handed
// over in a heap block of exactly its size.
//
// Input: a byte choosing the image length, a byte of switches (bit 0 Auto,
// bit 1 Fast, bit 2 L3, bit 3 settings folder unwritable, bit 4 a front end
// that takes identity replies itself), then operations, each a letter and
// its arguments; other bytes are skipped:
//   C len16 bytes       a raw chunk (at most 2048 bytes)
//   F cmd n payload s   a frame with a valid check, shaped by s (see FeedFrame)
//   H v                 a hello with version byte v
//   D n                 the device answers up to n + 1 waiting requests
//   K mask16            the device answers the waiting request; a checksum
//                       comes with the bits of mask16 flipped
//   1 n, 2 n            n + 1 ticks of Timer1 (1000 ms) or Timer2 (20 ms)
//   A b, S b            Auto (bit 0); Fast (bit 0) and L3 (bit 1)
//   R                   Read SN
//   W n text            Write SN with text stored as the next serial number
//   O, X                Open, Close
// Each box takes one byte: bit 0 answers Yes; with bit 1 set the ops
// counted by bits 2 to 4 run while the box is open, as the window's event
// loop runs events while a box is open.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "app/serial_number.h"
#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "app/serial_numbers.h"
#include "app/update_session.h"
#include "serial/event_loop.h"
#include "fuzz_targets.h"
#include "input_reader.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "simulated_device.h"

namespace comflash::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxChunk = 2048;
constexpr int kMaxBoxDepth = 3;
constexpr std::size_t kMaxSerialText = 24;

// Short, round, odd and the longest image the controller takes; 0 is no image.
constexpr std::array<std::uint16_t, 9> kImageLengths = {1000, 0, 2, 99, 100, 256, 257, 4000, 65280};

const FirmwareImage& ImageOfLength(std::size_t choice) {
    static std::array<std::unique_ptr<FirmwareImage>, kImageLengths.size()> images;
    auto& image = images[choice];
    if (!image) {
        image = std::make_unique<FirmwareImage>();
        image->Length = kImageLengths[choice];
        std::mt19937 random(image->Length);
        for (std::size_t i = 0; i < image->Length; ++i)
            image->Data[i] = static_cast<std::uint8_t>(random());
    }
    return *image;
}

// Two settings folders: one where the serial number is stored, and one whose
// path runs through a regular file, where every write fails. Kept in memory
// where there is a tmpfs for it, since each write flushes to disk.
class SettingsFolders {
public:
    static SettingsFolders& Instance() {
        static SettingsFolders folders;
        return folders;
    }
    void Use(bool writable) const {
        ::setenv("XDG_CONFIG_HOME", (writable ? writable_ : blocked_).c_str(), 1);
    }

private:
    SettingsFolders() {
        const fs::path shm = "/dev/shm";
        std::error_code error;
        const fs::path base = fs::is_directory(shm, error) ? shm : fs::temp_directory_path();
        root_ = base / ("comflash-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(root_ / "writable");
        writable_ = root_ / "writable";
        blocked_ = root_ / "blocked";
        std::FILE* file = std::fopen(blocked_.c_str(), "w");
        if (file)
            std::fclose(file);
    }
    ~SettingsFolders() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path root_;
    fs::path writable_;
    fs::path blocked_;
};

class ReceivePathDriver final : public ControllerHost, public PortView {
public:
    ReceivePathDriver(InputReader& input, const FirmwareImage& image, std::uint8_t switches)
        : input_(input),
          image_(image),
          auto_((switches & 1) != 0),
          fast_((switches & 2) != 0),
          l3_((switches & 4) != 0),
          takesIdentity_((switches & 16) != 0) {}

    void Run() {
        Open();
        while (!input_.Empty())
            RunOp();
    }

    // ControllerHost
    bool SendData(const std::uint8_t* data, std::uint16_t length) override {
        Require(length <= kLinkAreaSize, "a frame handed to SendData fits the link's area");
        LinkState probe;
        std::copy_n(data, length, probe.ReceiveArea.begin());
        probe.ReceiveCount = length;
        Require(FindFrame(probe, 0) == 4 && probe.LastFrameLength + kFrameOverhead == length,
                "every frame handed to SendData is one whole, well-formed frame");
        Require(image_.Length != 0 || !WritesImage({data, length}),
                "a tool without an image never writes a device's memory");
        device_.Receive({data, length}, session_.Link().ProtocolVersion);
        return true;
    }
    void SetBaudRate(std::uint32_t rate) override {
        Require(rate == kBaseRate || rate == kFastUpdateRate, "the link runs at 9600 or 38400");
    }
    void AppendLog(const std::string&) override {}
    void SetProgress(int position) override {
        Require(position >= 0 && position <= 100, "the progress stays within 0 to 100");
    }
    void ShowCounters(std::int32_t ok, std::int32_t errors) override {
        Require(ok == shownOk_ || ok == shownOk_ + 1, "OkCount rises one device at a time");
        Require(errors >= shownErrors_, "ErrorCount never falls");
        if (ok > shownOk_) {
            Require(!chunks_.empty() && chunks_.back().countsGood && !chunks_.back().counted,
                    "a device is counted good only on a checksum reply matching the image "
                    "that was sent whole in this run");
            chunks_.back().counted = true;
        }
        shownOk_ = ok;
        shownErrors_ = errors;
    }
    bool AskYesNo(const std::string&, const std::string&) override { return OnBox(); }
    void ShowMessage(const std::string&, const std::string&) override { OnBox(); }
    bool AutoChecked() override { return auto_; }
    bool FastChecked() override { return fast_; }
    bool L3Checked() override { return l3_; }
    void ShowNextSerialNumber(const std::string&) override {}
    void ClearReadBack() override {}
    // A settings error reaches the window's error box; the session goes on.
    void StepFailed(const std::exception&) override {}
    bool ReadyForDevice() override { return true; }
    bool TakeIdentityReply(const DeviceSerial&) override { return takesIdentity_; }
    void RunEnded(RunResult, std::optional<std::uint16_t>) override { numbers_.EndDevice(); }
    std::chrono::system_clock::time_point Now() override {
        return std::chrono::system_clock::time_point(std::chrono::seconds(1709647629));
    }

private:
    // What held when a chunk was handed over. The count it causes may come
    // only after a box it opened has closed, when the session has moved on.
    struct ChunkWitness {
        bool countsGood = false;
        bool counted = false;
    };

    void RunOp() {
        try {
            Dispatch(input_.Byte());
        } catch (const ERegistryException&) {
            // The front ends show these in an error box; the session goes on.
        } catch (const EConvertError&) {
        } catch (const SerialNumberError&) {
        }
        Require(session_.State() == UpdateState::Idle || session_.ReplyTimeout() > 0,
                "a session that awaits a reply always has its time-out running");
    }

    void Dispatch(std::uint8_t op) {
        switch (op) {
            case 'C': {
                const std::size_t length = input_.Word() % (kMaxChunk + 1);
                Feed(input_.Bytes(length));
                break;
            }
            case 'F': {
                const std::uint8_t commandByte = input_.Byte();
                const auto payload = input_.Bytes(input_.Byte());
                FeedFrame(EncodeFrame(commandByte, payload), input_.Byte());
                break;
            }
            case 'H': {
                const std::array<std::uint8_t, 2> payload = {kHelloMarker, input_.Byte()};
                Feed(EncodeFrame(command::kHello, payload));
                break;
            }
            case 'D':
                AnswerFromDevice(input_.Byte() + 1);
                break;
            case 'K': {
                const std::uint16_t mask = input_.Word();
                const std::vector<std::uint8_t> reply = device_.AnswerPending(mask);
                if (!reply.empty())
                    Feed(reply);
                break;
            }
            case '1':
                for (int n = input_.Byte() + 1; n > 0; --n)
                    session_.Timer1Timer();
                break;
            case '2':
                for (int n = input_.Byte() + 1; n > 0; --n)
                    session_.Timer2Timer();
                break;
            case 'A':
                auto_ = (input_.Byte() & 1) != 0;
                break;
            case 'S': {
                const std::uint8_t b = input_.Byte();
                fast_ = (b & 1) != 0;
                l3_ = (b & 2) != 0;
                break;
            }
            case 'R':
                session_.ReadSerialNumber();
                break;
            case 'W': {
                const auto text = input_.Bytes(input_.Byte() % (kMaxSerialText + 1));
                settings_.WriteSetting("SN", std::string(text.begin(), text.end()));
                session_.WriteSerialNumber();
                // The number is taken away from this thread; its answer sends it.
                owner_.Finish();
                break;
            }
            case 'O':
                Open();
                break;
            case 'X':
                session_.ResetForOpenClose();
                break;
            default:
                break;
        }
    }

    void Open() {
        session_.ResetForOpenClose();
        session_.SetBaseRate();
        session_.PortOpened();
        numbers_.Opened("COM1");
    }

    void AnswerFromDevice(int answers) {
        for (; answers > 0; --answers) {
            const std::vector<std::uint8_t> reply = device_.AnswerPending();
            if (reply.empty())
                return;
            Feed(reply);
        }
    }

    // Shapes: 0 whole; 1 after k zero bytes; 2 split after byte k + 1 into
    // two chunks; 3 twice in one chunk; 4 with one bit flipped.
    void FeedFrame(std::vector<std::uint8_t> frame, std::uint8_t shape) {
        const std::size_t k = shape / 5;
        switch (shape % 5) {
            case 0:
                Feed(frame);
                break;
            case 1:
                frame.insert(frame.begin(), k, 0x00);
                Feed(frame);
                break;
            case 2: {
                const std::size_t at = std::min(k + 1, frame.size() - 1);
                Feed(std::span(frame).first(at));
                Feed(std::span(frame).subspan(at));
                break;
            }
            case 3: {
                const std::vector<std::uint8_t> once = frame;
                frame.insert(frame.end(), once.begin(), once.end());
                Feed(frame);
                break;
            }
            default:
                frame[k % frame.size()] ^= static_cast<std::uint8_t>(0x80 >> (k % 8));
                Feed(frame);
        }
    }

    void Feed(std::span<const std::uint8_t> chunk) {
        chunk = chunk.first(std::min(chunk.size(), kMaxChunk));
        // A heap block of exactly the chunk's size: a read past it is caught.
        const auto bytes = std::make_unique<std::uint8_t[]>(chunk.size());
        std::copy(chunk.begin(), chunk.end(), bytes.get());

        chunks_.push_back({CountsGood(chunk), false});
        struct Pop {
            std::vector<ChunkWitness>& chunks;
            ~Pop() { chunks.pop_back(); }
        } pop{chunks_};
        session_.Comm1ReceiveData(bytes.get(), static_cast<std::uint16_t>(chunk.size()));
    }

    // Whether this chunk, in the session's present state, may make the
    // session count a device good.
    bool CountsGood(std::span<const std::uint8_t> chunk) const {
        if (session_.State() != UpdateState::AwaitChecksum)
            return false;
        LinkState probe;
        std::copy(chunk.begin(), chunk.end(), probe.ReceiveArea.begin());
        probe.ReceiveCount = static_cast<std::uint16_t>(chunk.size());
        const std::uint16_t r = FindFrame(probe, 0);
        if (r == 0 || probe.LastFrameLength < 3 || probe.ReceiveArea[r] != command::kChecksum)
            return false;
        const auto value =
            static_cast<std::uint16_t>(probe.ReceiveArea[r + 1] << 8 | probe.ReceiveArea[r + 2]);
        const std::uint16_t count = session_.Link().ChecksumCount;
        return count >= image_.Length &&
               value == Crc16Ccitt(std::span(image_.Data.data(), count)) &&
               device_.HoldsImage(image_, count);
    }

    static bool WritesImage(std::span<const std::uint8_t> frame) {
        const std::uint8_t commandByte = frame[4];
        const bool eepromInit = commandByte == command::kWrite && frame.size() >= 8 &&
                                (frame[5] << 8 | frame[6]) == kEepromInitAddress;
        return commandByte == command::kBlock || eepromInit;
    }

    bool OnBox() {
        const std::uint8_t b = input_.Byte(1);
        if ((b & 2) != 0 && boxDepth_ < kMaxBoxDepth) {
            ++boxDepth_;
            for (int n = (b >> 2) & 7; n > 0 && !input_.Empty(); --n)
                RunOp();
            --boxDepth_;
        }
        return (b & 1) != 0;
    }

    InputReader& input_;
    const FirmwareImage& image_;
    bool auto_;
    bool fast_;
    bool l3_;
    bool takesIdentity_;
    int boxDepth_ = 0;
    std::int32_t shownOk_ = 0;
    std::int32_t shownErrors_ = 0;
    std::vector<ChunkWitness> chunks_;
    SimulatedDevice device_;
    SettingsStore settings_;
    StoredSerialNumbers serialNumbers_{settings_};
    EventLoop loop_;  // never run: the desk's answers are run by Finish
    SerialNumbers owner_{serialNumbers_, loop_};
    PortNumbers numbers_{owner_, *this};
    UpdateSession session_{*this, *this, numbers_, image_};
};

}  // namespace

int FuzzReceivePath(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    const FirmwareImage& image = ImageOfLength(input.Byte() % kImageLengths.size());
    const std::uint8_t switches = input.Byte();
    SettingsFolders::Instance().Use((switches & 8) == 0);
    // The driver and its session are large: keep them off the stack.
    auto driver = std::make_unique<ReceivePathDriver>(input, image, switches);
    driver->Run();
    return 0;
}

}  // namespace comflash::fuzz
