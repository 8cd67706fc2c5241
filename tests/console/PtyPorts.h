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

    // COMn leads to a new pseudo-terminal; gives the path of its terminal side.
    QByteArray AddTerminal(int port);
    // COMn leads to a path that does not exist.
    void AddMissing(int port);

private:
    QTemporaryDir Config;
    QByteArray SavedConfig;
    bool HadConfig = false;
    std::map<int, int> Masters; // port -> master side, kept open while the object lives
};
