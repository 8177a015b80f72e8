#include "cli/help_text.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace tarnwick {

namespace {

constexpr std::size_t kWidth = 80;
constexpr std::size_t kColumn = 25; // where the explanations start

std::string withValue(std::string_view name, std::string_view valueName) {
    std::string text = "--" + std::string(name);
    if (!valueName.empty()) {
        text += ' ';
        text += valueName;
    }
    return text;
}

std::string optionWithValue(std::string_view name) {
    const OptionEntry* option = findOption(name);
    return withValue(name, option != nullptr ? option->valueName : "");
}

std::string commandWithValue(const CommandEntry& command) {
    const std::string shortForm =
        command.shortName != 0 ? std::string{'-', command.shortName, ',', ' '} : "";
    return shortForm + withValue(command.name, command.valueName);
}

// "  LEFT  explanation", the explanation's lines one under another from
// kColumn; a left part too long for the gap puts the explanation below it.
void appendEntry(std::string& text, std::string_view left, std::string_view explanation) {
    std::string line = "  " + std::string(left);
    if (line.size() + 2 > kColumn) {
        text += line + '\n';
        line.clear();
    }
    line.resize(kColumn, ' ');
    text += line;
    for (char c : explanation) {
        text += c;
        if (c == '\n') {
            text.append(kColumn, ' ');
        }
    }
    text += '\n';
}

// "[--seconds S | --ticks T]" for each choice of options.
std::vector<std::string> usageWords(const std::vector<OptionChoice>& choices) {
    std::vector<std::string> words;
    for (const OptionChoice& choice : choices) {
        std::string word = "[";
        for (std::string_view name : choice) {
            word += (word.size() > 1 ? " | " : "") + optionWithValue(name);
        }
        words.push_back(word + "]");
    }
    return words;
}

// The words after `start`, wrapped at kWidth under the first of them.
void appendUsage(std::string& text, const std::string& start,
                 const std::vector<std::string>& words) {
    std::string line = start;
    for (const std::string& word : words) {
        if (line.size() + 1 + word.size() > kWidth && line.size() > start.size()) {
            text += line + '\n';
            line.assign(start.size(), ' ');
        }
        line += ' ' + word;
    }
    text += line + '\n';
}

void appendUnique(std::vector<OptionChoice>& choices, const std::vector<OptionChoice>& more) {
    for (const OptionChoice& choice : more) {
        if (std::find(choices.begin(), choices.end(), choice) == choices.end()) {
            choices.push_back(choice);
        }
    }
}

void appendOptionEntries(std::string& text, const std::vector<OptionChoice>& choices) {
    for (const OptionChoice& choice : choices) {
        for (std::string_view name : choice) {
            if (const OptionEntry* option = findOption(name)) {
                appendEntry(text, optionWithValue(name), option->help);
            }
        }
    }
}

std::string pageHelp(const HelpPage& page) {
    std::vector<const CommandEntry*> commands;
    std::vector<OptionChoice> choices;
    for (const CommandEntry& command : commandTable()) {
        if (command.page == &page) {
            commands.push_back(&command);
            appendUnique(choices, command.takes);
        }
    }
    std::string text;
    for (const CommandEntry* command : commands) {
        appendUsage(text,
                    (command == commands.front() ? "Usage: tarnwick " : "       tarnwick ") +
                        withValue(command->name, command->valueName),
                    usageWords(command->takes));
    }
    text += std::string(page.description) + "\n\n";
    appendOptionEntries(text, choices);
    // The page is about its first command; the others are listed like options.
    for (const CommandEntry* command : commands) {
        if (command != commands.front()) {
            appendEntry(text, commandWithValue(*command), command->help);
        }
    }
    return text;
}

} // namespace

std::string overviewHelp() {
    std::vector<OptionChoice> choices;
    for (const CommandEntry& command : commandTable()) {
        if (command.page == nullptr) {
            appendUnique(choices, command.takes);
        }
    }
    std::string text;
    appendUsage(text, "Usage: tarnwick COMMAND", usageWords(choices));
    text += "       tarnwick [FILE.tarn]\n"
            "Compose a permutating fugal canon, from a freshly drawn seed or a settings file.\n"
            "Without a command, open the window, with FILE.tarn loaded when it is given.\n"
            "\nCommands:\n";
    for (const CommandEntry& command : commandTable()) {
        std::string explanation(command.help);
        if (command.page != nullptr && !command.takes.empty()) {
            explanation += " (options: tarnwick --" + std::string(command.name) + " --help)";
        }
        appendEntry(text, commandWithValue(command), explanation);
    }
    text += "\nOptions:\n";
    appendOptionEntries(text, choices);
    text += "\nExit status: 0 on success, 1 when the output cannot be written, 2 for bad\n"
            "usage or a settings file that cannot be read.\n";
    return text;
}

std::string helpFor(const CommandEntry* command) {
    return command != nullptr && command->page != nullptr ? pageHelp(*command->page)
                                                          : overviewHelp();
}

} // namespace tarnwick
