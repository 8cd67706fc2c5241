#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <map>

// A ports folder of its own for one test: COMn made to lead to a fresh pseudo-terminal (which
// opens like a serial port but answers nothing), or to nowhere. The folder is the user's config
// folder while the object lives.
class PtyPorts {
public:
    PtyPorts();
    ~PtyPorts();
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

    // COMn leads to a new pseudo-terminal, served as a simulator serves its own; gives the path
    // of its terminal side.
    QByteArray AddTerminal(int port);
    // Clears an exclusive flag left on COMn's terminal by a descriptor that went without clearing
    // it, as the simulated printer does once nobody holds the port (needs root).
    void ClearLeftExclusive(int port);
    // COMn leads to a path that does not exist.
    void AddMissing(int port);

private:
    QTemporaryDir Config;
    QByteArray SavedConfig;
    bool HadConfig = false;
    std::map<int, int> Masters;       // port -> master side, kept open while the object lives
    std::map<int, int> Claims;        // port -> the simulator's claim, held while the object lives
    std::map<int, QByteArray> Slaves; // port -> the terminal side's path
};
