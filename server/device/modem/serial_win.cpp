// The serial port of the modem driver on Win32: an overlapped handle, one
// event for single operations and one per page frame slot.
//
// Some port drivers (and a pty presented as a COM port) refuse DTR/RTS
// changes and modem-status reads; the driver goes on without them. A read or
// write that ends with ERROR_TIMEOUT and a short count is a time-out with
// those bytes, not a fault.
#include <windows.h>

#include "server/device/modem/modem.h"

static HANDLE s_handle = INVALID_HANDLE_VALUE;
static HANDLE s_event;
static HANDLE s_slotEvent[2];
static OVERLAPPED s_slotOv[2];
static int s_slotBusy[2];
static uint32_t s_slotLen[2];

static HANDLE NewEvent(void) { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

static uint16_t WinOpen(const char *name, uint32_t *sysError)
{
    if (!s_event)
        s_event = NewEvent();
    for (int i = 0; i < 2; ++i)
        if (!s_slotEvent[i])
            s_slotEvent[i] = NewEvent();
    if (!s_event || !s_slotEvent[0] || !s_slotEvent[1]) {
        *sysError = GetLastError();
        return PORT_ERROR;
    }
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *sysError = e;
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
            return PORT_NOT_FOUND;
        if (e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION)
            return PORT_IN_USE;
        return PORT_ERROR;
    }
    // A serial port has a line state; anything else is not one.
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        *sysError = GetLastError();
        CloseHandle(h);
        return PORT_ERROR;
    }
    s_handle = h;
    s_slotBusy[0] = s_slotBusy[1] = 0;
    return PORT_OK;
}

static int WinClose(uint32_t *sysError)
{
    if (s_handle == INVALID_HANDLE_VALUE)
        return 1;
    BOOL ok = CloseHandle(s_handle);
    if (!ok)
        *sysError = GetLastError();
    s_handle = INVALID_HANDLE_VALUE;
    return ok ? 1 : 0;
}

static int WinSetup(uint32_t baud, int ctsFlow, int dsrFlow, int xonXoff, uint32_t writeTimeoutMs, uint32_t *sysError)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(s_handle, &dcb)) {
        *sysError = GetLastError();
        return 1;
    }
    COMMTIMEOUTS to;
    if (!GetCommTimeouts(s_handle, &to)) {
        *sysError = GetLastError();
        return 2;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = ctsFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = dsrFlow ? TRUE : FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = xonXoff ? TRUE : FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    to.ReadIntervalTimeout = 200;
    to.ReadTotalTimeoutMultiplier = 0;
    to.ReadTotalTimeoutConstant = 500;
    to.WriteTotalTimeoutMultiplier = 0;
    to.WriteTotalTimeoutConstant = writeTimeoutMs;
    if (!SetCommState(s_handle, &dcb) || !SetCommTimeouts(s_handle, &to)) {
        *sysError = GetLastError();
        return 3;
    }
    return 0;
}

// Waits for an overlapped operation; a time-out with a short count is not a fault.
static int Finish(BOOL started, OVERLAPPED *ov, uint32_t *count, uint32_t *sysError)
{
    DWORD n = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        *sysError = GetLastError();
        *count = 0;
        return 0;
    }
    if (!GetOverlappedResult(s_handle, ov, &n, TRUE)) {
        DWORD e = GetLastError();
        *count = n;
        if (e == ERROR_TIMEOUT)
            return 1;
        *sysError = e;
        return 0;
    }
    *count = n;
    return 1;
}

static int WinWrite(const unsigned char *data, uint32_t len, uint32_t *written, uint32_t *sysError)
{
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ResetEvent(s_event);
    ov.hEvent = s_event;
    DWORD n = 0;
    BOOL ok = WriteFile(s_handle, data, len, &n, &ov);
    return Finish(ok, &ov, written, sysError);
}

static int WinWriteStart(int slot, const unsigned char *data, uint32_t len, uint32_t *sysError)
{
    OVERLAPPED *ov = &s_slotOv[slot];
    ZeroMemory(ov, sizeof *ov);
    ResetEvent(s_slotEvent[slot]);
    ov->hEvent = s_slotEvent[slot];
    DWORD n = 0;
    BOOL ok = WriteFile(s_handle, data, len, &n, ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) {
        *sysError = GetLastError();
        return 0;
    }
    s_slotBusy[slot] = 1;
    s_slotLen[slot] = len;
    return 1;
}

static int WinWriteWait(int slot, uint32_t *written, uint32_t *sysError)
{
    *written = 0;
    if (!s_slotBusy[slot])
        return 1;
    s_slotBusy[slot] = 0;
    return Finish(TRUE, &s_slotOv[slot], written, sysError);
}

static int WinRead(unsigned char *buf, uint32_t len, uint32_t *got, uint32_t *sysError)
{
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ResetEvent(s_event);
    ov.hEvent = s_event;
    DWORD n = 0;
    BOOL ok = ReadFile(s_handle, buf, len, &n, &ov);
    return Finish(ok, &ov, got, sysError);
}

static int WinPurge(int input, int output, uint32_t *sysError)
{
    DWORD flags = 0;
    if (input)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (output)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (!PurgeComm(s_handle, flags)) {
        *sysError = GetLastError();
        return 0;
    }
    return 1;
}

static int WinErrors(uint32_t *flags, uint32_t *sysError)
{
    DWORD e = 0;
    COMSTAT st;
    if (!ClearCommError(s_handle, &e, &st)) {
        *sysError = GetLastError();
        return 0;
    }
    *flags = e;
    return 1;
}

static int WinLines(int on, uint32_t *sysError)
{
    BOOL a = EscapeCommFunction(s_handle, on ? SETRTS : CLRRTS);
    DWORD e = a ? 0 : GetLastError();
    BOOL b = EscapeCommFunction(s_handle, on ? SETDTR : CLRDTR);
    if (!b)
        e = GetLastError();
    *sysError = e;
    return a && b;
}

static const ModemPort kWinPort = {WinOpen,  WinClose, WinSetup, WinWrite,  WinWriteStart,
                                   WinWriteWait, WinRead, WinPurge, WinErrors, WinLines};

const ModemPort *ModemPlatformPort(void) { return &kWinPort; }
