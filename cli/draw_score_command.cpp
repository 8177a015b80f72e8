#include "cli/draw_score_command.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include <QGuiApplication>

#include "cli/command_arguments.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/atomic_file.h"
#include "files/midi_events.h"
#include "roll/roll_images.h"
#include "roll/roll_picture.h"

namespace tarnwick {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotWrite = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kDrawUsage =
    "Usage: tarnwick --draw-score OUT.svg|OUT.png [--settings FILE.tarn] [--rand-seed N]\n";

enum class ImageFormat { Svg, Png };

struct DrawOptions {
    std::string outputPath;
    ImageFormat format = ImageFormat::Svg;
    std::optional<std::string> settingsPath;
    std::optional<std::uint32_t> randSeed;
};

std::optional<ImageFormat> formatOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    std::string extension(path.substr(dot + 1));
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "svg") {
        return ImageFormat::Svg;
    }
    if (extension == "png") {
        return ImageFormat::Png;
    }
    return std::nullopt;
}

std::variant<DrawOptions, UsageError>
parseDrawOptions(std::span<const std::string_view> arguments) {
    DrawOptions options;
    bool drawGiven = false;
    ArgumentReader reader(arguments);
    while (!reader.done()) {
        const std::string_view argument = reader.take();
        const bool known =
            argument == "--draw-score" || argument == "--settings" || argument == "--rand-seed";
        if (!known) {
            return UsageError{"unknown option '" + std::string(argument) + "'"};
        }
        const auto value = reader.takeValue();
        if (!value || value->empty()) {
            return UsageError{std::string(argument) + " needs a value"};
        }
        if (argument == "--draw-score") {
            if (drawGiven) {
                return UsageError{"--draw-score given twice"};
            }
            drawGiven = true;
            const auto format = formatOf(*value);
            if (!format) {
                return UsageError{"--draw-score writes .svg or .png, not '" + std::string(*value) +
                                  "'"};
            }
            options.outputPath = *value;
            options.format = *format;
        } else if (argument == "--settings") {
            if (options.settingsPath) {
                return UsageError{"--settings given twice"};
            }
            options.settingsPath = std::string(*value);
        } else {
            if (options.randSeed) {
                return UsageError{"--rand-seed given twice"};
            }
            options.randSeed = parseRandSeed(*value);
            if (!options.randSeed) {
                return UsageError{"--rand-seed needs a decimal integer, not '" +
                                  std::string(*value) + "'"};
            }
        }
    }
    return options;
}

// Text in an image needs a QGuiApplication; without one, a private one runs on
// the offscreen platform, so no display is needed.
std::vector<std::uint8_t> encodePng(const RollPicture& picture) {
    std::unique_ptr<QGuiApplication> ownApplication;
    static int argc = 3;
    static char name[] = "tarnwick";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, platformOption, platform, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        ownApplication = std::make_unique<QGuiApplication>(argc, argv);
    }
    return rollPng(picture);
}

} // namespace

bool isDrawScoreCommand(std::span<const std::string_view> arguments) {
    return std::ranges::find(arguments, "--draw-score") != arguments.end();
}

int runDrawScoreCommand(std::span<const std::string_view> arguments, std::ostream& /*out*/,
                        std::ostream& err) {
    const auto parsed = parseDrawOptions(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        err << "tarnwick: " << error->message << '\n' << kDrawUsage;
        return kExitUsage;
    }
    const auto& options = std::get<DrawOptions>(parsed);

    RandomGenerator random(options.randSeed.value_or(tickCountMs()));
    SongSettings settings;
    Score score;
    const FileResult prepared =
        prepareSession(random, settingsFileLoader(options.settingsPath), settings, score);
    if (!prepared.ok()) {
        err << "tarnwick: cannot load settings from " << prepared.message() << '\n';
        return kExitUsage;
    }
    // The drum slots are drawn as the export draws them, from the same generator.
    const std::vector<MidiEvent> events = buildMidiEvents(settings, score, random);
    const RollPicture picture{soundingNotes(score, settings), drumHitsOf(events, settings.stepMs)};

    const std::vector<std::uint8_t> bytes =
        options.format == ImageFormat::Svg ? rollSvg(picture) : encodePng(picture);
    if (bytes.empty()) {
        err << "tarnwick: cannot write " << options.outputPath
            << ": the image could not be encoded\n";
        return kExitCannotWrite;
    }
    const FileResult written = writeFileAtomically(options.outputPath, bytes);
    if (!written.ok()) {
        err << "tarnwick: cannot write " << written.message() << '\n';
        return kExitCannotWrite;
    }
    return kExitSuccess;
}

} // namespace tarnwick
