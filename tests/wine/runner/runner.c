/* Runs a program with the console and handles of this one and writes its full 32-bit exit code,
 * which Wine's Unix exit status cuts to the low byte.
 *
 *   runner.exe CODEFILE PROGRAM [ARGS...]
 *   runner.exe --wait PATH
 *
 * PROGRAM and ARGS are passed on as they stand in this process's command line; CODEFILE gets the
 * exit code as eight hex digits. With --wait it waits up to 20 s for PATH to open (a device that a
 * driver is still creating) and exits with 0 when it did. */
#include <windows.h>

/* Skips one command-line token as the CRT splits it (quotes, no escapes needed here). */
static const char* SkipToken(const char* p) {
    int quoted = 0;
    while (*p == ' ' || *p == '\t')
        ++p;
    for (; *p != '\0'; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (!quoted && (*p == ' ' || *p == '\t'))
            break;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

static void CopyToken(const char* p, char* out, size_t size) {
    size_t n = 0;
    int quoted = 0;
    while (*p == ' ' || *p == '\t')
        ++p;
    for (; *p != '\0' && n + 1 < size; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (!quoted && (*p == ' ' || *p == '\t'))
            break;
        else
            out[n++] = *p;
    }
    out[n] = '\0';
}

int main(void) {
    const char* line = SkipToken(GetCommandLineA()); /* past the runner itself */
    char codeFile[MAX_PATH];
    char command[32768];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD code = 0, written;
    char text[16];
    HANDLE file;

    CopyToken(line, codeFile, sizeof(codeFile));
    if (lstrcmpA(codeFile, "--wait") == 0) {
        CopyToken(SkipToken(line), command, sizeof(command));
        for (int i = 0; i < 200; ++i, Sleep(100)) {
            file = CreateFileA(command, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                return 0;
            }
        }
        return 1;
    }
    lstrcpynA(command, SkipToken(line), sizeof(command));
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    wsprintfA(text, "%08lX", code);
    file = CreateFileA(codeFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 254;
    WriteFile(file, text, lstrlenA(text), &written, NULL);
    CloseHandle(file);
    return 0;
}
