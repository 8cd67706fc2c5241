// tr7042k-ports: finds serial devices, maps the console's COMn to them and says why a port does
// not open.
#include "Tool.h"

#include <iostream>

int main(int argc, char** argv) {
    return RunPortsTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
