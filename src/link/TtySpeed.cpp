// Kept apart from every file that includes <termios.h>: the kernel's
// termios2 structure and the C library's termios cannot share a file.
#include "link/TtySpeed.h"

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace oriole {

bool SetTtyBaud(int fd, uint32_t baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

uint32_t TtyBaud(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

static_assert(sizeof(termios2) <= sizeof(TtySettings::bytes));

bool SaveTtySettings(int fd, TtySettings& saved) {
    return ioctl(fd, TCGETS2, reinterpret_cast<termios2*>(saved.bytes)) == 0;
}

bool RestoreTtySettings(int fd, const TtySettings& saved) {
    return ioctl(fd, TCSETS2, reinterpret_cast<const termios2*>(saved.bytes)) == 0;
}

}  // namespace oriole

#elif !defined(_WIN32)
#include <termios.h>

namespace oriole {

namespace {
struct Speed {
    uint32_t baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
}  // namespace

bool SetTtyBaud(int fd, uint32_t baud) {
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) return false;
    for (const Speed& s : kSpeeds)
        if (s.baud == baud) return cfsetspeed(&tio, s.code) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    return false;
}

uint32_t TtyBaud(int fd) {
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) return 0;
    for (const Speed& s : kSpeeds)
        if (s.code == cfgetospeed(&tio)) return s.baud;
    return 0;
}

static_assert(sizeof(termios) <= sizeof(TtySettings::bytes));

bool SaveTtySettings(int fd, TtySettings& saved) {
    return tcgetattr(fd, reinterpret_cast<termios*>(saved.bytes)) == 0;
}

bool RestoreTtySettings(int fd, const TtySettings& saved) {
    return tcsetattr(fd, TCSANOW, reinterpret_cast<const termios*>(saved.bytes)) == 0;
}

}  // namespace oriole
#endif
