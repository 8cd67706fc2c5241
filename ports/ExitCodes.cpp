// The exit code for each reason a port does not open: the same numbers on every system.
#include "PortCheck.h"

int ExitCodeOf(PortProblem problem) {
    switch (problem) {
    case PortProblem::None:
        return ExitOk;
    case PortProblem::Missing:
        return ExitMissing;
    case PortProblem::NoPermission:
        return ExitNoPermission;
    case PortProblem::Held:
        return ExitHeld;
    case PortProblem::Exclusive:
        return ExitExclusive;
    case PortProblem::NotSerial:
        return ExitNotSerial;
    case PortProblem::Other:
        break;
    }
    return ExitFailed;
}
