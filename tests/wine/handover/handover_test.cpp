// The hand-over of the 32-bit exe to qel-driver-fix64.exe starts the child through
// StartWithOurHandles. Checked here on its seam: the arguments it gives CreateProcessA (recorded),
// and a real start of this exe as the child, whose output must reach this process's redirected
// output and whose input must be this process's input.
//
// The sibling rules too: only an x86-64 image is handed over to, and never by a process that a
// hand-over started (the harness puts C:\qel\sibling32.exe and C:\qel\sibling64.exe beside).
//
//   handover_test.exe           the checks; "ok"/"FAIL" lines, exit status 1 on a failure
//   handover_test.exe --child   reads its input and writes "child read: " and what it read, then
//                               " (handed over)" when it inherited the hand-over's mark
#include "entry/hand_over.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_failed = 0;

void Check(const char* name, bool ok) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", name);
    g_failed += ok ? 0 : 1;
}

struct Recorded {
    std::string application, commandLine;
    BOOL inherit = FALSE;
    DWORD flags = 0;
    bool environment = false, directory = false;
    STARTUPINFOA startup{};
} g_recorded;

BOOL WINAPI RecordCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags,
                                LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                LPPROCESS_INFORMATION process) {
    g_recorded.application = application ? application : "";
    g_recorded.commandLine = commandLine ? commandLine : "";
    g_recorded.inherit = inherit;
    g_recorded.flags = flags;
    g_recorded.environment = environment != NULL;
    g_recorded.directory = directory != NULL;
    g_recorded.startup = *startup;
    memset(process, 0, sizeof(*process));
    return TRUE;
}

int Child() {
    char input[256];
    DWORD read = 0, written = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), input, sizeof(input) - 1, &read, NULL))
        read = 0;
    std::string text = "child read: " + std::string(input, read);
    // A child of the hand-over must not hand over again, whatever sits beside it.
    if (!MayHandOverTo("C:\\qel\\sibling64.exe"))
        text += " (handed over)";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), (DWORD)text.size(), &written, NULL);
    return 7;
}

void RecordedArguments() {
    const char path[] = "C:\\qel\\wow\\qel-driver-fix64.exe";
    const char line[] = "\"C:\\qel\\wow\\qel-driver-fix.exe\" -l";
    PROCESS_INFORMATION process;
    Check("the seam starts the child",
          StartWithOurHandles(path, line, &process, RecordCreateProcess));
    Check("the child is the exe beside, with the same command line",
          g_recorded.application == path && g_recorded.commandLine == line);
    Check("handles are inherited (bInheritHandles TRUE)", g_recorded.inherit == TRUE);
    Check("no new or detached console",
          (g_recorded.flags & (CREATE_NEW_CONSOLE | DETACHED_PROCESS | CREATE_NO_WINDOW)) == 0);
    const STARTUPINFOA& s = g_recorded.startup;
    bool ownHandles =
        !(s.dwFlags & STARTF_USESTDHANDLES) || (s.hStdInput == GetStdHandle(STD_INPUT_HANDLE) &&
                                                s.hStdOutput == GetStdHandle(STD_OUTPUT_HANDLE) &&
                                                s.hStdError == GetStdHandle(STD_ERROR_HANDLE));
    Check("the standard handles are this process's", ownHandles && s.cb == sizeof(STARTUPINFOA));
    Check("same environment and folder", !g_recorded.environment && !g_recorded.directory);
}

void SiblingRules() {
    Check("an x86-64 sibling is handed over to", MayHandOverTo("C:\\qel\\sibling64.exe"));
    Check("a 32-bit file under the sibling's name is not",
          !MayHandOverTo("C:\\qel\\sibling32.exe"));
    Check("nor a text file", !MayHandOverTo("C:\\qel\\handover-in.txt"));
    Check("nor a missing one", !MayHandOverTo("C:\\qel\\no-such-sibling.exe"));
}

void RealChild() {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string line = "\"" + std::string(self, length) + "\" --child";
    fflush(stdout); // the child writes to the same output
    PROCESS_INFORMATION process;
    BOOL started = StartWithOurHandles(self, line.c_str(), &process, CreateProcessA);
    Check("a real child starts", started);
    if (!started)
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("\n");
    Check("the real child ran to its end", code == 7);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && strcmp(argv[1], "--child") == 0)
        return Child();
    RecordedArguments();
    SiblingRules();
    MarkHandedOver(); // the real child inherits the mark, as the hand-over's child does
    Check("a marked process hands over to nothing", !MayHandOverTo("C:\\qel\\sibling64.exe"));
    RealChild();
    printf("%d failed\n", g_failed);
    return g_failed ? 1 : 0;
}
