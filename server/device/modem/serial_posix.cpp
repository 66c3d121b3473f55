// The serial port of the modem driver on POSIX terminals (the native test
// tree): "\\.\COMn" names the terminal "comn" in the folder given by the
// environment variable TAVRINE_COM_DIR (the modem simulator's link folder).
// Reads follow the Win32 time-outs the driver sets: 500 ms for the first
// byte, 200 ms between bytes.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "server/device/modem/modem.h"

static int s_fd = -1;
static uint32_t s_writeTimeoutMs = 1000;
static uint32_t s_slotWritten[2];

static uint16_t PxOpen(const char *name, uint32_t *sysError)
{
    const char *base = name;
    if (std::strncmp(base, "\\\\.\\", 4) == 0)
        base += 4;
    char lower[32];
    size_t n = 0;
    for (; base[n] && n + 1 < sizeof lower; ++n)
        lower[n] = (base[n] >= 'A' && base[n] <= 'Z') ? static_cast<char>(base[n] - 'A' + 'a') : base[n];
    lower[n] = 0;
    const char *dir = std::getenv("TAVRINE_COM_DIR");
    char path[512];
    std::snprintf(path, sizeof path, "%s/%s", dir && *dir ? dir : "/dev", lower);
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *sysError = static_cast<uint32_t>(errno);
        return errno == ENOENT ? PORT_NOT_FOUND : errno == EBUSY || errno == EACCES ? PORT_IN_USE : PORT_ERROR;
    }
    struct termios t;
    if (tcgetattr(fd, &t) != 0) {
        *sysError = static_cast<uint32_t>(errno);
        ::close(fd);
        return PORT_ERROR;
    }
    s_fd = fd;
    return PORT_OK;
}

static int PxClose(uint32_t *sysError)
{
    if (s_fd >= 0 && ::close(s_fd) != 0) {
        *sysError = static_cast<uint32_t>(errno);
        s_fd = -1;
        return 0;
    }
    s_fd = -1;
    return 1;
}

static int PxSetup(uint32_t baud, int ctsFlow, int dsrFlow, int xonXoff, uint32_t writeTimeoutMs, uint32_t *sysError)
{
    struct termios t;
    if (tcgetattr(s_fd, &t) != 0) {
        *sysError = static_cast<uint32_t>(errno);
        return 1;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (xonXoff)
        t.c_iflag |= IXON;
    speed_t sp = baud >= 19200 ? B19200 : B9600;
    cfsetispeed(&t, sp);
    cfsetospeed(&t, sp);
    if (tcsetattr(s_fd, TCSANOW, &t) != 0) {
        *sysError = static_cast<uint32_t>(errno);
        return 3;
    }
    s_writeTimeoutMs = writeTimeoutMs ? writeTimeoutMs : 60000;
    return 0;
}

static int PxWrite(const unsigned char *data, uint32_t len, uint32_t *written, uint32_t *sysError)
{
    uint32_t done = 0;
    uint32_t waited = 0;
    while (done < len) {
        ssize_t n = ::write(s_fd, data + done, len - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            *sysError = static_cast<uint32_t>(errno);
            *written = done;
            return 0;
        }
        if (waited >= s_writeTimeoutMs)
            break;
        struct pollfd p = {s_fd, POLLOUT, 0};
        poll(&p, 1, 50);
        waited += 50;
    }
    *written = done;
    return 1;
}

static int PxWriteStart(int slot, const unsigned char *data, uint32_t len, uint32_t *sysError)
{
    return PxWrite(data, len, &s_slotWritten[slot], sysError);
}

static int PxWriteWait(int slot, uint32_t *written, uint32_t *sysError)
{
    *written = s_slotWritten[slot];
    s_slotWritten[slot] = 0;
    return 1;
}

static int PxRead(unsigned char *buf, uint32_t len, uint32_t *got, uint32_t *sysError)
{
    uint32_t n = 0;
    int timeout = 500;
    while (n < len) {
        struct pollfd p = {s_fd, POLLIN, 0};
        int r = poll(&p, 1, timeout);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        ssize_t k = ::read(s_fd, buf + n, len - n);
        if (k < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (k < 0) {
            *sysError = static_cast<uint32_t>(errno);
            *got = n;
            return 0;
        }
        if (k == 0)
            break;
        n += static_cast<uint32_t>(k);
        timeout = 200;
    }
    *got = n;
    return 1;
}

static int PxPurge(int input, int output, uint32_t *sysError)
{
    int q = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (tcflush(s_fd, q) != 0) {
        *sysError = static_cast<uint32_t>(errno);
        return 0;
    }
    return 1;
}

static int PxErrors(uint32_t *flags, uint32_t *sysError)
{
    *flags = 0;
    return 1;
}

// A pty has no modem control lines.
static int PxLines(int on, uint32_t *sysError)
{
    *sysError = 50;
    return 0;
}

static const ModemPort kPosixPort = {PxOpen,      PxClose, PxSetup,  PxWrite,  PxWriteStart,
                                     PxWriteWait, PxRead,  PxPurge,  PxErrors, PxLines};

const ModemPort *ModemPlatformPort(void) { return &kPosixPort; }
