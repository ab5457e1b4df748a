// oriole-sim: the simulated writer box on a pseudo-terminal. Point the
// serial backend at the path it prints (--writer=serial:PATH) to try the
// program, or a serial-port tool, without the hardware.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "PtySimServer.h"
#include "devices/Devices.h"

namespace {

oriole::sim::CPtySimServer* g_server = nullptr;

void OnSignal(int) {
    if (g_server) g_server->Stop();
}

void PrintUsage() {
    std::puts(
        "usage: oriole-sim [DEVICE][,option...]\n"
        "\n"
        "Serves a simulated ORIOLE writer box on a pseudo-terminal until stopped\n"
        "(Ctrl+C). The first output line is the terminal's path.\n"
        "\n"
        "DEVICE     catalogue name of the target (default ATmega328P), or none\n"
        "options    timing=on|off  real-time model of baud rate, USB latency and\n"
        "                          programming times (default on); fast = timing=off\n"
        "           refuse         the target refuses programming mode\n"
        "           mute=CMD[#N]   no answer to a command (CMD: letter or 0xNN),\n"
        "                          or from the N-th 32-byte piece of F on\n"
        "           wrongack=CMD   a wrong acknowledge byte\n"
        "           short=CMD      data replies one byte short\n"
        "           dup=CMD        the answer's last byte comes twice\n"
        "           late=CMD       the answer comes after the host gave up (12 s)\n"
        "           slow=MS        every answer comes MS milliseconds later\n"
        "           latency=MS     the USB latency timer (default 2, what the host asks\n"
        "                          for by default: a terminal cannot carry its request)\n"
        "           misread=CMD#N  the N-th answer to a command comes once inverted\n"
        "           disconnect=N   the box goes away after N received bytes\n"
        "           swap=HOLD:GAP[:WAIT]  a tray of chips: each is taken out HOLD ms\n"
        "                          after its first erase or write, and a blank one put\n"
        "                          in GAP ms later; one nothing is written to within\n"
        "                          WAIT ms (5000) is taken out then, and the next put\n"
        "                          in GAP ms after the box found the socket empty\n"
        "           signature=XXXXXX  answer C with these bytes\n"
        "           stuck=flash|eeprom:ADDR[:VALUE]  a bad chip: that byte reads VALUE,\n"
        "                          or the inverse of what it holds (verify fails there)\n"
        "           bad=N          only every N-th chip put in is bad (stuck= cells,\n"
        "                          or FLASH byte 0)\n"
        "\n"
        "example: oriole-sim ATmega8,timing=off\n"
        "         oriole --writer=serial:/dev/pts/3");
}

}  // namespace

int main(int argc, char** argv) {
    std::string options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (!options.empty()) options += ',';
        options += argv[i];
    }
    std::string error;
    const auto config = oriole::sim::ParseSimOptions(options, error);
    if (!config) {
        std::fprintf(stderr, "oriole-sim: %s\n", error.c_str());
        return 2;
    }
    if (!config->faults.callFaults.empty()) {
        // The host's driver calls end in its own terminal driver, never here.
        std::fprintf(stderr, "oriole-sim: fail= makes driver calls fail; a pseudo-terminal has none\n");
        return 2;
    }
    oriole::sim::CPtySimServer server;
    if (!server.Start(*config, error)) {
        std::fprintf(stderr, "oriole-sim: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("%s\n", server.Path().c_str());
    std::fflush(stdout);
    const char* device = config->deviceRow ? oriole::DeviceAt(config->deviceRow).name : "no target";
    std::fprintf(stderr, "oriole-sim: %s on %s, timing %s\n", device, server.Path().c_str(),
                 config->timing ? "on" : "off");
    const bool ok = server.Serve();
    g_server = nullptr;
    return ok ? 0 : 1;
}
