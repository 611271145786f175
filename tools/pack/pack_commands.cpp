#include "tools/pack/pack_commands.h"

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/enhex.h"
#include "image/firmware_file.h"
#include "image/image_loader.h"
#include "image/image_text_format.h"
#include "tools/pack/atomic_file.h"

namespace comflash::pack {
namespace {

constexpr std::string_view kHelp =
    "Usage: comflash-pack encode FIRMWARE TEXT\n"
    "       comflash-pack decode TEXT FIRMWARE\n"
    "\n"
    "encode  enciphers FIRMWARE into the image text that comflash carries built in.\n"
    "        FIRMWARE is a raw binary, or Intel HEX (by the extension .hex or .ihx,\n"
    "        or by its content); gaps in a HEX file are filled with 0xFF.\n"
    "decode  checks TEXT the way comflash does at start-up and writes the image\n"
    "        it holds to FIRMWARE as a raw binary.\n"
    "\n"
    "An image holds 2 to 65280 bytes. An output file is replaced only when the\n"
    "command succeeds; on any error nothing is written and the exit status is 1.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string WithLineBreaks(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / kTextLineWidth + 1);
    for (std::size_t pos = 0; pos < text.size(); pos += kTextLineWidth) {
        lines.append(text.substr(pos, kTextLineWidth));
        lines += '\n';
    }
    return lines;
}

void Encode(std::string_view firmwarePath, std::string_view textPath) {
    const std::vector<std::uint8_t> image = ReadFirmwareFile(firmwarePath);
    std::string text;
    try {
        text = EncodeImageText(image, kImageTextKey);
    } catch (const ImageLengthError& e) {
        throw CommandError(std::string(firmwarePath) + ": " + e.what());
    }
    WriteFileAtomically(textPath, WithLineBreaks(text));
}

void Decode(std::string_view textPath, std::string_view firmwarePath) {
    auto image = std::make_unique<FirmwareImage>();
    switch (LoadEmbeddedImage(FileImageSource(textPath), *image)) {
        case ImageLoadResult::Loaded:
            break;
        case ImageLoadResult::NotAnImage:
            throw CommandError(std::string(textPath) +
                               ": holds no image (damaged or cut short, or not made by "
                               "comflash-pack encode)");
        case ImageLoadResult::TooLong:
            throw CommandError(std::string(textPath) + ": holds an image of more than " +
                               std::to_string(kMaxImageLength) + " bytes, which comflash refuses");
    }
    const auto* bytes = reinterpret_cast<const char*>(image->Data.data());
    WriteFileAtomically(firmwarePath, std::span(bytes, image->Length));
}

void RunCommand(std::span<const std::string_view> args) {
    if (args.empty())
        throw UsageError("no command given");
    const std::string_view command = args[0];
    const auto operands = args.subspan(1);
    for (std::string_view operand : operands) {
        if (operand.starts_with('-'))
            throw UsageError("unknown option '" + std::string(operand) + "'");
    }
    if (command == "encode" || command == "decode") {
        if (operands.size() != 2) {
            throw UsageError(std::string(command) + " takes two files, " +
                             (command == "encode" ? "FIRMWARE and TEXT" : "TEXT and FIRMWARE"));
        }
        if (command == "encode") {
            Encode(operands[0], operands[1]);
        } else {
            Decode(operands[0], operands[1]);
        }
        return;
    }
    if (command.starts_with('-'))
        throw UsageError("unknown option '" + std::string(command) + "'");
    throw UsageError("unknown command '" + std::string(command) + "'");
}

bool AsksForHelp(std::span<const std::string_view> args) {
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

}  // namespace

int Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
    if (AsksForHelp(args)) {
        out << kHelp;
        return kExitOk;
    }
    try {
        RunCommand(args);
        return kExitOk;
    } catch (const UsageError& e) {
        err << "comflash-pack: " << e.what() << " (see comflash-pack --help)\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "comflash-pack: " << e.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace comflash::pack
