#include "app/run_marks.h"

#include "app/system_facts.h"
#include "log/write_log.h"

void WriteRunHeader(void) {
    if (!g_bLogEnabled)
        return;
    DWORD major, minor, build;
    ReadWindowsVersion(&major, &minor, &build);
    WriteLogFileOnly("qel-driver-fix %s %s, Windows %u.%u build %u, %s\n", QEL_VERSION,
                     ToolArchitecture(), (unsigned)major, (unsigned)minor, (unsigned)build,
                     IsProcessElevated() ? "elevated" : "not elevated");
}

void WriteRunEnd(DWORD exitCode) {
    WriteLogFileOnly("Exit code: 0x%08X\n", (unsigned)exitCode);
}
