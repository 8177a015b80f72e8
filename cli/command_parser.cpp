#include "cli/command_parser.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <QCommandLineParser>
#include <QStringList>

namespace tarnwick {

namespace {

// Arguments are bytes in no particular encoding. Latin-1 maps each byte to one
// character and back, so file names and values come through unchanged.
QString fromBytes(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

std::string spelled(std::string_view name) {
    return (name.size() == 1 ? "-" : "--") + std::string(name);
}

void addTables(QCommandLineParser& parser) {
    for (const CommandEntry& command : commandTable()) {
        QStringList names{fromBytes(command.name)};
        if (command.shortName != 0) {
            names.prepend(QString(QChar::fromLatin1(command.shortName)));
        }
        parser.addOption(QCommandLineOption(names, {}, fromBytes(command.valueName)));
    }
    for (const OptionEntry& option : optionTable()) {
        parser.addOption(
            QCommandLineOption(fromBytes(option.name), {}, fromBytes(option.valueName)));
    }
}

// One command or option as found on the command line, in order.
struct Given {
    std::string spelling; // as written, without a value: "--settings", "-h"
    const CommandEntry* command = nullptr;
    const OptionEntry* option = nullptr;
    std::string value;
};

std::vector<Given> givenInOrder(const QCommandLineParser& parser) {
    std::vector<Given> given;
    std::vector<QString> seen;
    for (const QString& name : parser.optionNames()) {
        const std::string bytes = toBytes(name);
        // The k-th time a name is found, it has its k-th value.
        const auto k = std::count(seen.begin(), seen.end(), name);
        seen.push_back(name);
        const QStringList values = parser.values(name);
        given.push_back({spelled(bytes), findCommand(bytes), findOption(bytes),
                         k < values.size() ? toBytes(values[k]) : std::string()});
    }
    return given;
}

std::string needsValue(const Given& given) {
    return given.spelling + " needs " +
           std::string(given.option ? given.option->needs : "an output file");
}

// The parser stops at an unknown option, a missing value (only the last
// argument can miss one) or a value given to an option without one.
std::string whyNotParsed(const QCommandLineParser& parser, const std::vector<Given>& given,
                         std::span<const std::string_view> arguments) {
    if (!parser.unknownOptionNames().isEmpty()) {
        return "unknown option '" + spelled(toBytes(parser.unknownOptionNames().first())) + "'";
    }
    const QStringList names = parser.optionNames();
    const bool lastTakesValue =
        !given.empty() && (given.back().option ? !given.back().option->valueName.empty()
                                               : !given.back().command->valueName.empty());
    if (lastTakesValue && names.count(names.last()) > parser.values(names.last()).size()) {
        return needsValue(given.back());
    }
    for (std::string_view argument : arguments) {
        const std::size_t equals = argument.find('=');
        if (argument.starts_with('-') && equals != std::string_view::npos) {
            const std::string_view name = argument.substr(0, equals);
            const std::string_view bare = name.substr(name.starts_with("--") ? 2 : 1);
            const CommandEntry* flag = findCommand(bare);
            const OptionEntry* option = findOption(bare);
            if ((flag != nullptr && flag->valueName.empty()) ||
                (option != nullptr && option->valueName.empty())) {
                return std::string(name) + " takes no value";
            }
        }
    }
    return toBytes(parser.errorText());
}

bool takes(const CommandEntry& command, const OptionEntry& option) {
    return std::any_of(command.takes.begin(), command.takes.end(), [&](const OptionChoice& choice) {
        return std::find(choice.begin(), choice.end(), option.name) != choice.end();
    });
}

// The one command asked for, and whether its help page is asked for instead.
std::variant<ParsedCommandLine, UsageError> chooseCommand(const std::vector<Given>& given) {
    std::vector<const Given*> commands;
    for (const Given& g : given) {
        if (g.command == nullptr) {
            continue;
        }
        for (const Given* earlier : commands) {
            if (earlier->command == g.command) {
                return UsageError{g.spelling + " given twice"};
            }
        }
        commands.push_back(&g);
    }
    ParsedCommandLine parsed;
    const auto help = std::find_if(commands.begin(), commands.end(),
                                   [](const Given* g) { return g->command->name == kHelpCommand; });
    if (help != commands.end() && commands.size() == 2) {
        const Given* other = commands[help == commands.begin() ? 1 : 0];
        if (other->command->page != nullptr) {
            parsed.helpAsked = true;
            commands = {other};
        }
    }
    if (commands.empty()) {
        return UsageError{"no command given"};
    }
    if (commands.size() > 1) {
        return UsageError{"more than one command given ('" + commands[1]->spelling + "')"};
    }
    parsed.command = commands.front()->command;
    parsed.helpAsked = parsed.helpAsked || parsed.command->name == kHelpCommand;
    // "--render-audio --help" asks for the command's page; its value is not
    // a file called "--help".
    const std::string& value = commands.front()->value;
    if (parsed.command->page != nullptr && (value == "--help" || value == "-h")) {
        parsed.helpAsked = true;
        return parsed;
    }
    if (!parsed.command->valueName.empty()) {
        if (commands.front()->value.empty()) {
            return UsageError{needsValue(*commands.front())};
        }
        parsed.options.outputPath = commands.front()->value;
    }
    return parsed;
}

QStringList wordsOf(std::span<const std::string_view> arguments) {
    QStringList words{QStringLiteral("tarnwick")};
    for (std::string_view argument : arguments) {
        words.append(fromBytes(argument));
    }
    return words;
}

UsageProblem readOptions(const std::vector<Given>& given, ParsedCommandLine& parsed) {
    const CommandEntry& command = *parsed.command;
    std::vector<const OptionEntry*> read;
    for (const Given& g : given) {
        if (g.option == nullptr) {
            continue;
        }
        if (command.takes.empty()) {
            return spelled(command.name) + " takes no options";
        }
        if (!takes(command, *g.option)) {
            return "unknown option '" + g.spelling + "'";
        }
        if (std::find(read.begin(), read.end(), g.option) != read.end()) {
            return g.spelling + " given twice";
        }
        read.push_back(g.option);
        if (g.value.empty() && !g.option->valueName.empty()) {
            return needsValue(g);
        }
        if (UsageProblem problem = g.option->read(g.value, parsed.options)) {
            return problem;
        }
    }
    if (parsed.helpAsked) {
        return std::nullopt;
    }
    for (const OptionChoice& choice : command.takes) {
        const auto chosen = std::count_if(choice.begin(), choice.end(), [&](std::string_view name) {
            return std::find(read.begin(), read.end(), findOption(name)) != read.end();
        });
        if (chosen > 1) {
            std::string reason = "give either";
            for (std::size_t i = 0; i < choice.size(); ++i) {
                reason += (i == 0 ? " " : " or ") + spelled(choice[i]);
            }
            return reason;
        }
    }
    return command.check != nullptr ? command.check(parsed.options) : std::nullopt;
}

} // namespace

std::variant<ParsedCommandLine, UsageError>
parseCommandLine(std::span<const std::string_view> arguments) {
    QCommandLineParser parser;
    addTables(parser);
    const bool parsed = parser.parse(wordsOf(arguments));
    const std::vector<Given> given = givenInOrder(parser);

    // The help after an error fits the first command named, other than --help.
    const auto subject = std::find_if(given.begin(), given.end(), [](const Given& g) {
        return g.command != nullptr && g.command->name != kHelpCommand;
    });
    const auto fail = [&](std::string reason) {
        return UsageError{std::move(reason), subject == given.end() ? nullptr : subject->command};
    };
    if (!parsed) {
        return fail(whyNotParsed(parser, given, arguments));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail("unknown option '" + toBytes(parser.positionalArguments().first()) + "'");
    }
    auto chosen = chooseCommand(given);
    if (auto* error = std::get_if<UsageError>(&chosen)) {
        return fail(std::move(error->reason));
    }
    auto& result = std::get<ParsedCommandLine>(chosen);
    if (UsageProblem problem = readOptions(given, result)) {
        return fail(std::move(*problem));
    }
    return result;
}

std::optional<std::string> windowFileArgument(std::span<const std::string_view> arguments) {
    QCommandLineParser parser;
    addTables(parser);
    if (!parser.parse(wordsOf(arguments)) || !parser.optionNames().isEmpty()) {
        return std::nullopt;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || files.first().isEmpty()) {
        return std::nullopt;
    }
    return toBytes(files.first());
}

} // namespace tarnwick
