#include "tools/pack/pack_commands.h"

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/command_line.h"
#include "frontend/version_text.h"
#include "image/enhex.h"
#include "image/firmware_file.h"
#include "image/image_loader.h"
#include "image/image_text_format.h"
#include "tools/pack/atomic_file.h"

namespace comflash::pack {
namespace {

constexpr const char* kUsageLines =
    "comflash-pack encode FIRMWARE TEXT\n"
    "comflash-pack decode TEXT FIRMWARE\n"
    "comflash-pack --version";

constexpr const char* kFooter =
    "FIRMWARE is a raw binary, or Intel HEX (by the extension .hex or .ihx, or by\n"
    "its content); gaps in a HEX file are filled with 0xFF. An image holds 2 to\n"
    "65280 bytes. An output file is replaced only when the command succeeds; on any\n"
    "error nothing is written and the exit status is 1 (2 for bad arguments).";

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

// The two files of a command, in the order its usage names them.
struct Operands {
    std::string first;
    std::string second;
};

CLI::App* AddCommand(CLI::App& app, const char* name, const char* help, const char* first,
                     const char* second, Operands& operands) {
    CLI::App* command = app.add_subcommand(name, help);
    command->group("Commands");
    command->add_option(first, operands.first, "")->required();
    command->add_option(second, operands.second, "")->required();
    return command;
}

}  // namespace

int Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
    CLI::App app("", "comflash-pack");
    app.footer(kFooter);
    UseCommonHelpLayout(app, kUsageLines);
    bool version = false;
    app.add_flag("--version", version, "show the tool's version");
    Operands operands;
    const CLI::App* encode = AddCommand(app, "encode",
                                        "encipher FIRMWARE into the image text that comflash\n"
                                        "carries built in",
                                        "FIRMWARE", "TEXT", operands);
    const CLI::App* decode = AddCommand(app, "decode",
                                        "check TEXT the way comflash does at start-up and\n"
                                        "write its image to FIRMWARE as a raw binary",
                                        "TEXT", "FIRMWARE", operands);
    try {
        if (!ParseCommandLine(app, args)) {
            out << HelpText(app);
            return kExitOk;
        }
        if (version) {
            out << VersionText("comflash-pack");
        } else if (encode->parsed()) {
            Encode(operands.first, operands.second);
        } else if (decode->parsed()) {
            Decode(operands.first, operands.second);
        } else {
            throw UsageError("no command given: encode or decode");
        }
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
