// A small Win32 console program that opens a COM port the way the modem
// driver does (CreateFile, SetCommState, SetCommTimeouts), sends "AT" and
// waits for "OK". Used by the Wine test of the modem line simulator.
//
//   comprobe [COMn]
//
// Exit status 0 when the modem answered OK (and the class list names a fax
// class), 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Reads what arrives within about ms milliseconds, stopping early once
// `want` has been seen. A read that ends with ERROR_TIMEOUT (as Wine
// reports a time-out on a pty) is a time-out with the bytes it got.
int ReadReply(HANDLE port, const char *want, char *buf, int size, DWORD ms)
{
    int len = 0;
    buf[0] = '\0';
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && len + 1 < size) {
        DWORD got = 0;
        if (!ReadFile(port, buf + len, static_cast<DWORD>(size - 1 - len), &got, nullptr)) {
            DWORD err = GetLastError();
            if (err != ERROR_TIMEOUT) {
                printf("ReadFile failed (%lu)\n", static_cast<unsigned long>(err));
                return -1;
            }
        }
        len += static_cast<int>(got);
        buf[len] = '\0';
        if (strstr(buf, want) != nullptr)
            break;
    }
    return len;
}

bool Command(HANDLE port, const char *cmd, const char *want, char *reply, int size)
{
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    DWORD put = 0;
    DWORD len = static_cast<DWORD>(strlen(cmd));
    if (!WriteFile(port, cmd, len, &put, nullptr) || put != len) {
        printf("WriteFile failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    int n = ReadReply(port, want, reply, size, 3000);
    printf("sent %.*s<CR>, got %d bytes: ", static_cast<int>(len - 1), cmd, n);
    for (int i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(reply[i]);
        if (c == '\r')
            printf("<CR>");
        else if (c == '\n')
            printf("<LF>");
        else if (c < 32 || c >= 127)
            printf("<%02X>", c);
        else
            putchar(c);
    }
    putchar('\n');
    return n > 0 && strstr(reply, want) != nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\%.20s", argc > 1 ? argv[1] : "COM1");
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        printf("cannot open %s (%lu)\n", name, static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        printf("GetCommState failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return 1;
    }
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(port, &dcb)) {
        printf("SetCommState failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return 1;
    }
    COMMTIMEOUTS to;
    memset(&to, 0, sizeof to);
    to.ReadIntervalTimeout = 200;
    to.ReadTotalTimeoutConstant = 500;
    to.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(port, &to)) {
        printf("SetCommTimeouts failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return 1;
    }
    // Control lines cannot be changed on a pty under Wine; not an error here.
    if (!EscapeCommFunction(port, SETDTR))
        printf("EscapeCommFunction(SETDTR) failed (%lu), going on\n", static_cast<unsigned long>(GetLastError()));

    char reply[512];
    bool ok = Command(port, "AT\r", "OK\r\n", reply, sizeof reply);
    ok = ok && Command(port, "AT+FCLASS=?\r", "OK\r\n", reply, sizeof reply) && strstr(reply, "2.0") != nullptr;
    ok = ok && Command(port, "ATE0V0\r", "0\r", reply, sizeof reply);
    CloseHandle(port);
    printf("%s\n", ok ? "modem answered" : "no good answer from the modem");
    return ok ? 0 : 1;
}
