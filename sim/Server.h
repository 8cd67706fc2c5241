#pragma once

#include "DeviceModel.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Puts a DeviceModel on a line: a pseudo-terminal whose slave end the console opens as its COM
// port, or a real serial line. One thread runs Run(); Stop() and HangUp() may be called from any
// thread (Stop() also from a signal handler).
namespace sim {

// Takes COMn for this simulator: its claim in the ports folder, held for the process's life (the
// kernel lets go of it however the process ends). Refused, with the reason and another port
// number to use, when there is no ports folder, another simulator serves COMn, or COMn is mapped
// to anything but a link a simulator left behind. Gives the claim's descriptor, or -1.
int ClaimPort(int port, std::string& error);
// Names the terminal in the claim and makes the link comN point at it, replacing the old link in
// one step.
bool MakePortLink(int port, int claim, const std::string& target, std::string& linkPath,
                  std::string& error);
// The line is gone for now: the claim names no terminal, so the link's old target (which anyone
// may be given next) is not taken for the simulator's.
void ServeNothing(int claim);
// Removes the link, but only while it still points at target (another simulator may own it now).
void RemovePortLink(const std::string& linkPath, const std::string& target);
// Gives the claim up on a clean end.
void ReleasePort(int port, int claim);

class Server {
public:
    using EventSink = std::function<void(const std::vector<DeviceModel::Event>&)>;
    using TraceSink = std::function<void(const DeviceModel::Request&)>;

    // The model is used only under the mutex.
    Server(DeviceModel& model, std::mutex& modelMutex);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // A new pseudo-terminal in raw mode. The server keeps a slave descriptor open so that the
    // console may close and reopen the port without the line being hung up; it does not lock
    // the slave, so the console may take it exclusively.
    bool OpenPty(std::string& error);
    // A real serial line, raw 8N1 at the baud rate.
    bool OpenSerial(const std::string& path, int baud, std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    void SetEventSink(EventSink sink) { events_ = std::move(sink); }
    void SetTraceSink(TraceSink sink) { trace_ = std::move(sink); }
    // Whether the model keeps every request and printed line. A long-running program passes
    // them on to its sinks and forgets them; a test fixture keeps them to look at.
    void SetKeepHistory(bool keep) { keepHistory_ = keep; }
    // A request left incomplete this long is dropped with a NAK.
    void SetIdleTimeoutMs(int ms) { idleMs_ = ms; }
    // On a pseudo-terminal: the device works at this baud rate only, whatever the host set on
    // the line. At a rate near it the host reads the device's answers garbled, as a UART at the
    // wrong rate reads them; at a rate four times off or more the device takes nothing the host
    // sends and stays silent. 0 (the default): the device answers at any rate.
    void SetLineRate(int baud) { lineRate_ = baud; }
    // The baud rate the host has set on the pseudo-terminal; 0 when it is not known.
    int HostRate() const;

    // Serves until Stop(), or until the line is hung up (HangUp(), the hang-up fault, or a real
    // line whose far end has gone: an adapter pulled out).
    void Run();
    void Stop();
    void HangUp();
    bool HungUp() const { return hungUp_; }
    // Waits this long, or less when Stop() comes; false once stopped.
    bool Rest(int ms) { return Wait(ms * 1000LL); }
    // Closes the line; a hung-up line is closed already.
    void Close();

private:
    bool Wait(long long micros);       // false when woken by Stop() or HangUp()
    bool AwaitWire(std::size_t bytes); // false when woken by Stop() or HangUp()
    bool Send(const DeviceModel::Output& out);
    void WriteAll(const std::string& bytes);
    void Drain();
    void Deliver(std::size_t requestsBefore);
    // The host's rate when the device keeps to its own and the host has set another; else 0.
    int OtherHostRate() const;
    void ClearLeftExclusive();

    DeviceModel& model_;
    std::mutex& mutex_;
    int fd_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangUpRequested_{false};
    std::atomic<bool> hungUp_{false};
    EventSink events_;
    TraceSink trace_;
    std::chrono::steady_clock::time_point inputDue_{}; // when paced input has all arrived
    int idleMs_ = 500;
    int lineRate_ = 0;
    bool keepHistory_ = true;
};

} // namespace sim
