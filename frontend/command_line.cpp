#include "frontend/command_line.h"

#include <vector>

namespace comflash {
namespace {

// CLI11's layout, but with the program's own usage lines in place of
// "Usage: prog [OPTIONS]" and before the description.
class HelpLayout : public CLI::Formatter {
public:
    explicit HelpLayout(std::string usage) : usage_(std::move(usage)) {}

    // Further usage lines start with "   or:", which help2man understands too.
    std::string make_usage(const CLI::App* app, std::string) const override {
        std::string usage = "Usage: " + usage_;
        for (auto at = usage.find('\n'); at != std::string::npos; at = usage.find('\n', at + 1))
            usage.replace(at, 1, "\n   or: ");
        const std::string description = app->get_description();
        return usage + "\n" + (description.empty() ? "" : "\n" + description + "\n");
    }
    std::string make_description(const CLI::App*) const override { return {}; }

private:
    std::string usage_;
};

// CLI11 says "--report: 1 required FILE missing"; the name is what comes
// before the colon.
std::string OptionNameOf(const CLI::ParseError& error) {
    const std::string text = error.what();
    return text.substr(0, text.find(':'));
}

// CLI11 would read "--open=yes" as a flag set by a value; every program of
// ours refuses a value for a flag, as the windows always did.
void RefuseFlagValues(const CLI::App& app, std::span<const std::string_view> args) {
    for (const std::string_view arg : args) {
        const std::size_t equals = arg.find('=');
        if (!arg.starts_with("--") || equals == std::string_view::npos)
            continue;
        const std::string name(arg.substr(0, equals));
        const CLI::Option* option = app.get_option_no_throw(name);
        if (option != nullptr && option->get_items_expected_max() == 0)
            throw UsageError(name + " takes no value");
    }
}

}  // namespace

bool ParseCommandLine(CLI::App& app, std::span<const std::string_view> args, char quote) {
    // What CLI11 does not know stays behind, so that it is named in our words.
    app.allow_extras();
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
        command->allow_extras();
    RefuseFlagValues(app, args);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return false;
    } catch (const CLI::ArgumentMismatch& error) {
        throw UsageError(OptionNameOf(error) + " needs a value");
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    const std::vector<std::string> left = app.remaining(true);
    if (!left.empty()) {
        const std::string& first = left.front();
        throw UsageError(
            std::string(first.starts_with('-') ? "unknown option " : "unexpected argument ") +
            quote + first + quote);
    }
    return true;
}

void UseCommonHelpLayout(CLI::App& app, std::string usage) {
    auto layout = std::make_shared<HelpLayout>(std::move(usage));
    layout->column_width(24);
    app.formatter(layout);
    app.set_help_flag("-h,--help", "show this text and exit");
}

std::string HelpText(const CLI::App& app) {
    std::string text = app.help();
    if (!text.ends_with('\n'))
        text += '\n';
    return text;
}

}  // namespace comflash
