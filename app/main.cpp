// The entry point. With arguments, Tarnwick runs a command-line command; without
// any, or with the name of a settings file alone (as the desktop starts it for a
// double-clicked file), it opens its window, a modal dialog whose loop is the
// program's loop.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/command_line.h"
#include "cli/command_parser.h"

#ifdef TARNWICK_WITH_DIALOG
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "app/no_display.h"
#include "window/close_on_signals.h"
#include "window/desktop_parts.h"
#include "window/main_dialog.h"
#endif

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
#ifdef TARNWICK_WITH_DIALOG
    const std::optional<std::string> file = tarnwick::windowFileArgument(arguments);
    if (!arguments.empty() && !file) {
        return tarnwick::runCommandLine(arguments, std::cout, std::cerr);
    }
    if (!tarnwick::displayAvailable([](const char* name) { return std::getenv(name); })) {
        tarnwick::explainNoDisplay(std::cerr, argc > 0 ? argv[0] : "tarnwick");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    // The installed desktop entry and icon, by the name they are installed under.
    QApplication::setDesktopFileName(QStringLiteral(TARNWICK_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(TARNWICK_APP_ID)));
    tarnwick::MainDialog dialog(tarnwick::desktopParts());
    const tarnwick::CloseOnSignals closeOnSignals(dialog);
    if (file) {
        // A full path, so the title and the chooser's folder are what "&Open..."
        // would give; opened once the window shows, so an error box has a parent.
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::absolute(*file, ignored);
        QTimer::singleShot(0, &dialog, [&dialog, path] { dialog.openFile(path); });
    }
    dialog.exec();
    return 0;
#else
    return tarnwick::runCommandLine(arguments, std::cout, std::cerr);
#endif
}
