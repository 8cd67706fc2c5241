#include "Server.h"

#include "LineRate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace sim {

namespace {

constexpr char kSyn = 0x16;

speed_t SpeedOf(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return 0;
    }
}

int BaudOf(speed_t speed) {
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        if (SpeedOf(baud) == speed) return baud;
    }
    return 0;
}

} // namespace

std::string PortsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : ".") + "/.config";
    }
    return base + "/tr7042k/ports";
}

bool MakePortLink(int port, const std::string& target, std::string& linkPath, std::string& error) {
    namespace fs = std::filesystem;
    const std::string folder = PortsFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = "cannot create " + folder + ": " + ec.message();
        return false;
    }
    linkPath = folder + "/com" + std::to_string(port);
    // A link left behind by a simulator that did not end cleanly is replaced.
    if (fs::is_symlink(fs::symlink_status(linkPath, ec))) fs::remove(linkPath, ec);
    fs::create_symlink(target, linkPath, ec);
    if (ec) {
        error = "cannot make " + linkPath + ": " + ec.message();
        return false;
    }
    return true;
}

void RemovePortLink(const std::string& linkPath, const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (linkPath.empty() || !fs::is_symlink(fs::symlink_status(linkPath, ec))) return;
    if (fs::read_symlink(linkPath, ec) == fs::path(target)) fs::remove(linkPath, ec);
}

Server::Server(DeviceModel& model, std::mutex& modelMutex) : model_(model), mutex_(modelMutex) {
    if (pipe(wake_) == 0) {
        for (int fd : wake_)
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
}

Server::~Server() {
    Close();
    for (int fd : wake_) {
        if (fd >= 0) close(fd);
    }
}

bool Server::OpenPty(std::string& error) {
    Close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return false;
    }
    const char* name = ptsname(master);
    const int slave = name != nullptr ? open(name, O_RDWR | O_NOCTTY) : -1;
    if (slave < 0) {
        error = std::string("cannot open the pseudo-terminal's slave: ") + std::strerror(errno);
        close(master);
        return false;
    }
    // Raw from the start, so that nothing the console writes is echoed back to it.
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fd_ = master;
    slave_ = slave;
    slavePath_ = name;
    hungUp_ = false;
    hangUpRequested_ = false;
    return true;
}

bool Server::OpenSerial(const std::string& path, int baud, std::string& error) {
    Close();
    const speed_t speed = SpeedOf(baud);
    if (speed == 0) {
        error = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = path + " is not a serial line: " + std::strerror(errno);
        close(fd);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = "cannot set up " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    slavePath_ = path;
    hungUp_ = false;
    hangUpRequested_ = false;
    return true;
}

int Server::HostRate() const {
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) return 0;
    return BaudOf(cfgetospeed(&tio));
}

int Server::OtherHostRate() const {
    if (lineRate_ <= 0 || slave_ < 0) return 0;
    const int host = HostRate();
    return host > 0 && host != lineRate_ ? host : 0;
}

void Server::Close() {
    if (fd_ >= 0) close(fd_);
    if (slave_ >= 0) close(slave_);
    fd_ = slave_ = -1;
}

void Server::Stop() {
    stop_ = true;
    const char b = 's';
    [[maybe_unused]] auto n = write(wake_[1], &b, 1);
}

void Server::HangUp() {
    hangUpRequested_ = true;
    const char b = 'h';
    [[maybe_unused]] auto n = write(wake_[1], &b, 1);
}

void Server::Drain() {
    char buf[64];
    while (read(wake_[0], buf, sizeof buf) > 0) {
    }
}

bool Server::Wait(long long micros) {
    if (stop_ || hangUpRequested_) return false;
    if (micros <= 0) return true;
    pollfd p{wake_[0], POLLIN, 0};
    const timespec ts{static_cast<time_t>(micros / 1'000'000),
                      static_cast<long>(micros % 1'000'000) * 1000};
    ppoll(&p, 1, &ts, nullptr);
    Drain();
    return !stop_ && !hangUpRequested_;
}

void Server::WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    int stalls = 0;
    while (done < bytes.size() && fd_ >= 0) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Nobody reads the line and its buffer is full: what does not fit is lost, as on a
        // serial line with nobody listening.
        if (n < 0 && errno == EAGAIN && ++stalls < 20) {
            if (!Wait(5000)) return;
            continue;
        }
        return;
    }
}

bool Server::AwaitWire(std::size_t bytes) {
    // On a pseudo-terminal the console's bytes arrive all at once; on a serial line at the
    // paced speed they would come one every ten bit times. The device takes them when the last
    // of them would have arrived, so a request costs its time on the wire, as the reply does.
    // A real line has spent that time already.
    if (slave_ < 0) return true;
    int baud = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        baud = model_.GetOptions().baud;
    }
    if (baud <= 0) return true;
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    inputDue_ = std::max(inputDue_, now) +
                std::chrono::microseconds(static_cast<long long>(bytes) * 10'000'000LL / baud);
    return Wait(std::chrono::duration_cast<std::chrono::microseconds>(inputDue_ - now).count());
}

bool Server::Send(const DeviceModel::Output& out) {
    // Each chunk is due its delay after the one before it was due, not after it went out: the
    // time spent writing and waking up must not add up over a reply paced byte by byte, or the
    // line runs slower than its baud rate.
    using Clock = std::chrono::steady_clock;
    auto due = Clock::now();
    for (const auto& chunk : out.chunks) {
        due += chunk.delay;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(due - Clock::now());
        if (!Wait(wait.count())) return false;
        WriteAll(chunk.bytes);
    }
    return true;
}

void Server::Deliver(std::size_t requestsBefore) {
    std::vector<DeviceModel::Event> events;
    std::vector<DeviceModel::Request> requests;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events = model_.TakeEvents();
        if (trace_) {
            const auto& all = model_.Requests();
            for (std::size_t i = std::min(requestsBefore, all.size()); i < all.size(); ++i)
                requests.push_back(all[i]);
        }
        if (!keepHistory_) {
            model_.ClearRequests();
            model_.ClearPaperRoll();
        }
    }
    if (trace_) {
        for (const auto& r : requests)
            trace_(r);
    }
    if (events_ && !events.empty()) events_(events);
}

void Server::Run() {
    using Clock = std::chrono::steady_clock;
    auto lastTick = Clock::now();
    auto lastInput = lastTick;
    bool inputPending = false;
    bool syn = false;              // a SYN stream is running
    std::string synBytes(1, kSyn); // a SYN as the host reads it
    bool synAlways = false;        // ... and lasts while the fault stays on for good
    auto nextSyn = lastTick;
    int interval = 60;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interval = std::max(1, model_.GetOptions().synIntervalMs);
    }

    while (!stop_ && fd_ >= 0) {
        if (hangUpRequested_) {
            hangUpRequested_ = false;
            hungUp_ = true;
            Close();
            break;
        }
        int timeoutMs = 50;
        const auto now0 = Clock::now();
        if (syn) {
            timeoutMs = static_cast<int>(std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(nextSyn - now0).count()));
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = poll(fds, 2, timeoutMs);
        const auto now = Clock::now();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            model_.AdvanceClock(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTick));
        }
        lastTick = now - (now - lastTick) % std::chrono::milliseconds(1);
        if (ready > 0 && (fds[1].revents & POLLIN)) Drain();
        if (stop_ || hangUpRequested_) continue;

        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[512];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n > 0) {
                if (!AwaitWire(static_cast<std::size_t>(n))) continue;
                syn = false;
                lastInput = Clock::now();
                // The host's rate is read with every request: a console may reconnect at another.
                const int otherRate = OtherHostRate();
                if (otherRate && RatesFarApart(otherRate, lineRate_)) continue;
                DeviceModel::Output out;
                std::size_t before = 0;
                bool synAlwaysNow = false;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    before = model_.Requests().size();
                    out = model_.Receive(std::string_view(buf, static_cast<std::size_t>(n)));
                    synAlwaysNow = model_.GetFaults().synForever == DeviceModel::kAlways;
                }
                inputPending = true;
                Deliver(before);
                if (otherRate) {
                    out = AtHostRate(out, lineRate_, otherRate);
                    synBytes = ReadAtRate(std::string(1, kSyn), lineRate_, otherRate);
                } else {
                    synBytes.assign(1, kSyn);
                }
                if (!Send(out)) continue;
                if (out.hangUp) {
                    HangUp();
                    continue;
                }
                if (out.synForever) {
                    syn = true;
                    synAlways = synAlwaysNow;
                    nextSyn = Clock::now() + std::chrono::milliseconds(interval);
                }
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                // A serial line that fails (adapter pulled out) is given a moment to recover.
                if (!Wait(100'000)) continue;
            }
        }

        if (syn && Clock::now() >= nextSyn) {
            if (synAlways) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (model_.GetFaults().synForever != DeviceModel::kAlways) syn = false;
            }
            if (syn) {
                WriteAll(synBytes);
                nextSyn += std::chrono::milliseconds(interval);
            }
        }

        if (inputPending && now - lastInput >= std::chrono::milliseconds(idleMs_)) {
            inputPending = false;
            DeviceModel::Output out;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                out = model_.LineIdle();
            }
            if (const int otherRate = OtherHostRate()) out = AtHostRate(out, lineRate_, otherRate);
            Send(out);
        }
    }
}

} // namespace sim
