// tr7042k-ports on Windows: the command line of main.cpp, its text written to the console as
// UTF-16 (ConsoleWin32.h).
#include "ConsoleWin32.h"
#include "Tool.h"

#include <windows.h>

#include <ostream>

int main(int argc, char** argv) {
    ConsoleOutput outBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
    ConsoleOutput errBuffer(GetStdHandle(STD_ERROR_HANDLE));
    std::ostream out(&outBuffer), err(&errBuffer);
    const int code = RunPortsTool(std::vector<std::string>(argv + 1, argv + argc), out, err);
    out.flush();
    err.flush();
    return code;
}
