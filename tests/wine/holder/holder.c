/* Holds a file open the way a log viewer or a second run may: for reading and writing, sharing
 * reading and writing with others, until its standard input ends.
 *
 *   holder.exe PATH
 *
 * Creates PATH when it is missing, writes "held" and a line feed to standard output once the
 * file is open, then waits for standard input to end, closes the file and exits with 0; exits
 * with 1 when the file cannot be opened. */
#include <windows.h>

int main(int argc, char* argv[]) {
    HANDLE file, in, out;
    DWORD done;
    char byte;

    if (argc != 2)
        return 2;
    file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    WriteFile(out, "held\n", 5, &done, NULL);
    in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, &byte, 1, &done, NULL) && done == 1)
        ;
    CloseHandle(file);
    return 0;
}
