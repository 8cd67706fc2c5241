// What the console tells when a port does not open: the lines of the connect button's message
// after its first.
#pragma once

#include <QString>

// Why port n did not open and what to do about it, as the lines that follow the message's first,
// each begun as a sentence; empty when nothing more can be said.
QString PortFailureLines(int port);
