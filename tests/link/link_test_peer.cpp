// A Link peer for the tests, driven on standard input, one command a line:
// "peers N" waits until N other peers are seen (30 s at most: "alone"), "tempo BPM" sets the
// session's tempo, "start" and "stop" start and stop it now (with no regard
// to the bar), "quit" leaves. Each command is then answered by a line "ok".
#include <ableton/Link.hpp>
#include <iostream>
#include <string>
#include <thread>

int main() {
    ableton::Link link(120.0);
    link.enableStartStopSync(true);
    link.enable(true);
    std::string command;
    double value = 0.0;
    while (std::cin >> command && command != "quit") {
        auto state = link.captureAppSessionState();
        const auto now = link.clock().micros();
        if (command == "peers" && std::cin >> value) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (static_cast<double>(link.numPeers()) < value) {
                if (std::chrono::steady_clock::now() > giveUp) {
                    std::cout << "alone" << std::endl;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else if (command == "tempo" && std::cin >> value) {
            state.setTempo(value, now);
        } else if (command == "start" || command == "stop") {
            state.setIsPlaying(command == "start", now);
        }
        link.commitAppSessionState(state);
        std::cout << "ok" << std::endl;
    }
}
