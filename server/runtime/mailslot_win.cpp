// Mailslot transport: the Win32 calls.
#include "server/runtime/mailslot.h"

#include <windows.h>

TvStatus PlatMsCreate(const char *path, TvMailslot *handle, uint32_t *error)
{
    SECURITY_ATTRIBUTES sa;
    SECURITY_ATTRIBUTES *psa = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    // On NT the mailslot gets a NULL access list so that every account may
    // write to it; other versions have no security.
    if (GetVersion() < 0x80000000u) {
        sd = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
        if (!sd)
            return TV_E_NOMEM;
        if (!InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(sd, TRUE, nullptr, FALSE)) {
            LocalFree(sd);
            return TV_E_SECURITY;
        }
        sa.nLength = sizeof sa;
        sa.lpSecurityDescriptor = sd;
        sa.bInheritHandle = FALSE;
        psa = &sa;
    }
    HANDLE h = CreateMailslotA(path, 0, 0, psa);
    *error = GetLastError();
    if (sd)
        LocalFree(sd);
    if (h == INVALID_HANDLE_VALUE)
        return TV_E_IO;
    *handle = h;
    return TV_OK;
}

bool PlatMsNextSize(TvMailslot handle, uint32_t *nextSize)
{
    DWORD next = 0, count = 0;
    if (!GetMailslotInfo(static_cast<HANDLE>(handle), nullptr, &next, &count, nullptr))
        return false;
    // The count is not reliable everywhere; the next size tells "none".
    *nextSize = next == MAILSLOT_NO_MESSAGE ? static_cast<uint32_t>(MS_NO_MESSAGE) : static_cast<uint32_t>(next);
    return true;
}

bool PlatMsRead(TvMailslot handle, void *buf, uint32_t size, uint32_t *got)
{
    DWORD n = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(handle), buf, size, &n, nullptr);
    *got = n;
    return ok != FALSE;
}

MsOpenResult PlatMsOpenWrite(const char *path, void **writer, uint32_t *error)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        *writer = h;
        *error = 0;
        return MS_OPEN_OK;
    }
    DWORD e = GetLastError();
    *error = e;
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
        return MS_OPEN_MISSING;
    if (e == ERROR_SHARING_VIOLATION)
        return MS_OPEN_BUSY;
    return MS_OPEN_ERROR;
}

MsWriteResult PlatMsWrite(void *writer, const void *buf, uint32_t length, uint32_t *written, uint32_t *error)
{
    DWORD n = 0;
    if (WriteFile(static_cast<HANDLE>(writer), buf, length, &n, nullptr)) {
        *written = n;
        *error = 0;
        return MS_WRITE_OK;
    }
    *written = n;
    DWORD e = GetLastError();
    *error = e;
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE || e == ERROR_NO_DATA ||
        e == ERROR_PIPE_NOT_CONNECTED)
        return MS_WRITE_GONE;
    return MS_WRITE_ERROR;
}

void PlatMsCloseWrite(void *writer) { CloseHandle(static_cast<HANDLE>(writer)); }

void PlatMsClose(TvMailslot handle) { CloseHandle(static_cast<HANDLE>(handle)); }
