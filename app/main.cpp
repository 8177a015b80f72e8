// The entry point. With arguments, Tarnwick runs a command-line command; without
// any, it opens its window, a modal dialog whose loop is the program's loop.

#include <cstdlib>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/command_line.h"

#ifdef TARNWICK_WITH_DIALOG
#include <QApplication>

#include "app/no_display.h"
#include "window/close_on_signals.h"
#include "window/desktop_parts.h"
#include "window/main_dialog.h"
#endif

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (!arguments.empty()) {
        return tarnwick::runCommandLine(arguments, std::cout, std::cerr);
    }
#ifdef TARNWICK_WITH_DIALOG
    if (!tarnwick::displayAvailable([](const char* name) { return std::getenv(name); })) {
        tarnwick::explainNoDisplay(std::cerr, argc > 0 ? argv[0] : "tarnwick");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    tarnwick::MainDialog dialog(tarnwick::desktopParts());
    const tarnwick::CloseOnSignals closeOnSignals(dialog);
    dialog.exec();
    return 0;
#else
    return tarnwick::runCommandLine(arguments, std::cout, std::cerr);
#endif
}
