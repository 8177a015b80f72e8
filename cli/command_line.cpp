#include "cli/command_line.h"

#include <ostream>
#include <variant>

#include "cli/command_parser.h"
#include "cli/exit_status.h"
#include "cli/help_text.h"

namespace tarnwick {

int runCommandLine(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err) {
    const auto parsed = parseCommandLine(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        err << "tarnwick: " << error->reason << '\n' << helpFor(error->command);
        return kExitUsage;
    }
    const auto& commandLine = std::get<ParsedCommandLine>(parsed);
    if (commandLine.helpAsked) {
        out << helpFor(commandLine.command);
        return kExitSuccess;
    }
    return commandLine.command->run(commandLine.options, out, err);
}

} // namespace tarnwick
