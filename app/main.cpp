#include <iostream>
#include <string_view>
#include <vector>

#include "app/command_line.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return tarnwick::runCommandLine(arguments, std::cout, std::cerr);
}
