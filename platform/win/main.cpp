// The process entry on Windows.
#include "app/run.h"

int main(int argc, char* argv[]) {
    return (int)ToolMain(argc, argv);
}
