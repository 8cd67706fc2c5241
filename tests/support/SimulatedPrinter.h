#pragma once

#include "DeviceModel.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {
class Server;
}

// A simulated printer for tests: the device model served on its own thread behind a
// pseudo-terminal, reachable as COMn through the ports folder of a temporary config folder.
// XDG_CONFIG_HOME points at that folder for the fixture's lifetime. Every accessor is safe to
// call while the console talks to the printer from another thread.
//
// By default the printer is fast: printing takes no time and replies are not paced. Use one
// fixture at a time: each points XDG_CONFIG_HOME at its own folder.
class SimulatedPrinter {
public:
    // The device clock starts at the host's local time.
    explicit SimulatedPrinter(int comNumber = 1);
    // The options as given, the clock included. Slow printing or pacing can be chosen here.
    SimulatedPrinter(int comNumber, const DeviceModel::Options& options);
    ~SimulatedPrinter();
    SimulatedPrinter(const SimulatedPrinter&) = delete;
    SimulatedPrinter& operator=(const SimulatedPrinter&) = delete;

    int Port() const { return port_; }
    std::string ConfigHome() const { return configHome_; } // the temporary XDG_CONFIG_HOME
    std::string PortLink() const { return link_; }         // .../tr7042k/ports/comN
    std::string SlavePath() const { return slave_; }       // the pty slave the link points at

    struct Request {
        int Command;
        std::string Data; // as received, Windows-1251
        bool Refused;     // the reply carried an error bit
    };
    std::vector<Request> Requests() const; // every well-formed request, in order
    void ClearRequests();
    std::vector<std::string> PaperRoll() const; // printed lines, Windows-1251
    std::string DisplayUpper() const;
    std::string DisplayLower() const;

    // Runs f(DeviceModel&) under the fixture's lock: read the state, switch faults.
    template <class F> auto WithModel(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(model_);
    }

    // The far end closes the line, as a pulled cable: the console's reads fail from now on.
    void HangUp();

private:
    int port_;
    mutable std::mutex mutex_;
    DeviceModel model_;
    std::unique_ptr<sim::Server> server_;
    std::thread thread_;
    std::string configHome_, link_, slave_;
    int claim_ = -1; // the simulator's claim on COMn, as tr7042k-sim holds it
    bool hadXdg_ = false;
    std::string savedXdg_;
};
