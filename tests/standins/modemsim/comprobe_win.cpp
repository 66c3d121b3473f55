// A small Win32 console program that opens a COM port the way the modem
// driver does (CreateFile, SetCommState, SetCommTimeouts), sends "AT" and
// waits for "OK". Used by the Wine test of the modem line simulator.
//
//   comprobe [COMn]                 AT, AT+FCLASS=?, ATE0V0 on one port
//   comprobe COMa COMb <number>     a Class 2 call from COMa to COMb (which
//                                   answers to number) carrying one page
//                                   that holds every byte value
//
// Exit status 0 when the modem(s) answered as expected, 1 otherwise.
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

// Opens and sets up a COM port as the modem driver does; XON/XOFF output
// flow control only when asked.
HANDLE OpenPort(const char *com, bool xonXoff)
{
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\%.20s", com);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        printf("cannot open %s (%lu)\n", name, static_cast<unsigned long>(GetLastError()));
        return port;
    }
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        printf("GetCommState failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
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
    dcb.fOutX = xonXoff ? TRUE : FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!SetCommState(port, &dcb)) {
        printf("SetCommState failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    COMMTIMEOUTS to;
    memset(&to, 0, sizeof to);
    to.ReadIntervalTimeout = 200;
    to.ReadTotalTimeoutConstant = 500;
    to.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(port, &to)) {
        printf("SetCommTimeouts failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    return port;
}

bool SetXonXoff(HANDLE port, bool on)
{
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return false;
    dcb.fOutX = on ? TRUE : FALSE;
    return SetCommState(port, &dcb) != 0;
}

unsigned char Reverse(unsigned char b)
{
    unsigned char r = 0;
    for (int i = 0; i < 8; i++)
        if (b & (1u << i))
            r = static_cast<unsigned char>(r | (0x80u >> i));
    return r;
}

// COMa calls COMb; one page with every byte value crosses the line.
int Call(const char *comA, const char *comB, const char *number)
{
    HANDLE a = OpenPort(comA, false);
    HANDLE b = OpenPort(comB, false);
    if (a == INVALID_HANDLE_VALUE || b == INVALID_HANDLE_VALUE)
        return 1;
    static char reply[4096];
    bool ok = Command(a, "ATE0V1+FCLASS=2\r", "OK\r\n", reply, sizeof reply);
    ok = ok && Command(a, "AT+FLID=\"WINE CALLER\"\r", "OK\r\n", reply, sizeof reply);
    ok = ok && Command(b, "ATE0V1+FCLASS=2\r", "OK\r\n", reply, sizeof reply);
    char dial[64];
    snprintf(dial, sizeof dial, "ATDT%.40s\r", number);
    DWORD put = 0;
    DWORD dialLen = static_cast<DWORD>(strlen(dial));
    ok = ok && WriteFile(a, dial, dialLen, &put, nullptr) && put == dialLen;   // the reply comes later
    ok = ok && ReadReply(b, "RING\r\n", reply, sizeof reply, 5000) > 0 && strstr(reply, "RING") != nullptr;
    printf("COM b rings: %s\n", ok ? "yes" : "no");
    ok = ok && Command(b, "ATA\r", "+FCON\r\n", reply, sizeof reply);
    ok = ok && ReadReply(a, "OK\r\n", reply, sizeof reply, 5000) > 0 && strstr(reply, "+FCSI:") != nullptr;
    printf("COM a connected: %s\n", ok ? "yes" : "no");
    // Class 2: CONNECT, then XON; only then does the sender turn XON/XOFF on.
    ok = ok && Command(a, "AT+FDT\r", "\x11", reply, sizeof reply);
    ok = ok && SetXonXoff(a, true);
    unsigned char page[600];
    int n = 0;
    page[n++] = 0x00;   // EOL first
    page[n++] = 0x08;
    for (int v = 0; v < 256; v++) {
        page[n++] = static_cast<unsigned char>(v);
        if (v == 0x10)
            page[n++] = 0x10;
    }
    page[n++] = 0x10;
    page[n++] = 0x03;
    ok = ok && WriteFile(a, page, static_cast<DWORD>(n), &put, nullptr) && put == static_cast<DWORD>(n);
    ok = ok && ReadReply(a, "OK\r\n", reply, sizeof reply, 3000) > 0 && strstr(reply, "OK") != nullptr;
    ok = ok && SetXonXoff(a, false);
    ok = ok && Command(a, "AT+FET=2\r", "OK\r\n", reply, sizeof reply) && strstr(reply, "+FHNG: 0") != nullptr;
    printf("COM a sent the page: %s\n", ok ? "yes" : "no");
    // The receiver: CONNECT, DC2, data up to DLE ETX, bit-reversed in Class 2.
    ok = ok && Command(b, "AT+FDR\r", "CONNECT\r\n", reply, sizeof reply);
    unsigned char dc2 = 0x12;
    ok = ok && WriteFile(b, &dc2, 1, &put, nullptr) && put == 1;
    int got = ok ? ReadReply(b, "+FET: 2\r\n\r\nOK\r\n", reply, sizeof reply, 5000) : 0;
    unsigned char data[1024];
    int len = 0;
    int i = 0;
    bool ended = false;
    for (; i < got && !ended && len < static_cast<int>(sizeof data); i++) {
        unsigned char c = static_cast<unsigned char>(reply[i]);
        if (c == 0x10 && i + 1 < got) {
            unsigned char d = static_cast<unsigned char>(reply[++i]);
            if (d == 0x03)
                ended = true;
            else if (d == 0x10)
                data[len++] = 0x10;
            continue;
        }
        data[len++] = c;
    }
    bool same = ended && len >= 258;
    for (int v = 0; same && v < 256; v++)
        same = data[2 + v] == Reverse(static_cast<unsigned char>(v));
    same = same && data[0] == 0x00 && data[1] == Reverse(0x08);
    printf("COM b received %d bytes, every byte value bit-reversed intact: %s\n", len, same ? "yes" : "no");
    // The post-page report follows DLE ETX (the data holds NUL bytes).
    ok = ok && same && strstr(reply + i, "+FET: 2") != nullptr;
    ok = ok && Command(b, "AT+FDR\r", "OK\r\n", reply, sizeof reply) && strstr(reply, "+FHNG: 0") != nullptr;
    CloseHandle(a);
    CloseHandle(b);
    printf("%s\n", ok ? "call completed" : "call failed");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 3)
        return Call(argv[1], argv[2], argv[3]);
    HANDLE port = OpenPort(argc > 1 ? argv[1] : "COM1", false);
    if (port == INVALID_HANDLE_VALUE)
        return 1;
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
