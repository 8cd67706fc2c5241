#include "Server.h"

#include "LineRate.h"
#include "PortPath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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

namespace {

std::string LinkPathOf(int port) {
    char link[4096];
    return PortLinkPath(port, link, sizeof link) ? link : "";
}

// The first port number from 1 up that nothing leads from yet: no link, no simulator's claim.
int FreePortNumber(int besides) {
    for (int n = 1; n <= PortNumberMax; ++n) {
        struct stat st;
        const std::string link = LinkPathOf(n);
        if (n != besides && !link.empty() && lstat(link.c_str(), &st) != 0 && errno == ENOENT &&
            !PortClaimed(n))
            return n;
    }
    return 0;
}

std::string TryAnother(int port) {
    const int free = FreePortNumber(port);
    return free > 0 ? "; выберите другой номер, например --port COM" + std::to_string(free)
                    : "; выберите другой номер";
}

// Why the simulator may not take the link comN as it stands; empty when it may (no link, or a
// link to a pseudo-terminal that no simulator serves: one a simulator left behind).
std::string LinkInTheWay(int port, const std::string& link) {
    const std::string name = "COM" + std::to_string(port);
    struct stat st;
    if (lstat(link.c_str(), &st) != 0) {
        if (errno == ENOENT) return {};
        return "не удаётся заглянуть в " + link + ": " + std::strerror(errno);
    }
    if (!S_ISLNK(st.st_mode)) return link + " уже есть, и это не ссылка";
    char target[4096];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    target[n > 0 ? n : 0] = 0;
    // This simulator holds the claim, so no other serves the terminal the link leads to.
    struct stat to;
    if (stat(link.c_str(), &to) == 0 ? PortTargetKindOf(&to, "/sys") == PortTargetPseudo
                                     : std::strncmp(target, "/dev/pts/", 9) == 0)
        return {};
    return name + " связан с " + std::string(target) + " (tr7042k-ports map): эту связь " +
           "имитатор не заменяет";
}

} // namespace

int ClaimPort(int port, std::string& error) {
    const std::string name = "COM" + std::to_string(port);
    char folder[4096];
    int why = 0;
    if (!PortsFolderPath(folder, sizeof folder, &why)) {
        error = why == ENOENT ? "не задан ни XDG_CONFIG_HOME, ни HOME (полным путём): негде "
                                "сделать ссылку " +
                                    name
                              : "путь к папке портов слишком длинный (XDG_CONFIG_HOME или HOME)";
        return -1;
    }
    const int claim = PortClaim(port, &why);
    if (claim < 0) {
        error = why == EWOULDBLOCK
                    ? name + " уже обслуживает другой имитатор" + TryAnother(port)
                    : "не удаётся занять " + name + " в " + folder + ": " + std::strerror(why);
        return -1;
    }
    const std::string inTheWay = LinkInTheWay(port, LinkPathOf(port));
    if (!inTheWay.empty()) {
        error = inTheWay + TryAnother(port);
        PortClaimRelease(port, claim);
        return -1;
    }
    return claim;
}

bool MakePortLink(int port, int claim, const std::string& target, std::string& linkPath,
                  std::string& error) {
    linkPath = LinkPathOf(port);
    const std::string fresh = linkPath + ".new";
    unlink(fresh.c_str());
    // The claim names the new terminal before the link leads there: a console that follows the
    // link meanwhile is refused for a moment, never sent to a terminal the claim does not name.
    if (linkPath.empty() || !PortClaimServe(claim, target.c_str()) ||
        symlink(target.c_str(), fresh.c_str()) != 0 || !PortOwnLikeFolder(fresh.c_str()) ||
        rename(fresh.c_str(), linkPath.c_str()) != 0) {
        error = "не удаётся сделать ссылку " + linkPath + ": " + std::strerror(errno);
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

void ServeNothing(int claim) {
    PortClaimServe(claim, "");
}

void RemovePortLink(const std::string& linkPath, const std::string& target) {
    char now[4096];
    const ssize_t n = linkPath.empty() ? -1 : readlink(linkPath.c_str(), now, sizeof now - 1);
    if (n <= 0) return;
    now[n] = 0;
    if (target == now) unlink(linkPath.c_str());
}

void ReleasePort(int port, int claim) {
    PortClaimRelease(port, claim);
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

void Server::ClearLeftExclusive() {
    // A console takes the line for exclusive use and locks it; the flag stays on the terminal
    // after the console has gone (this server keeps the line open), which keeps every ordinary
    // user out. A console killed before it could clear it leaves it behind: with nobody holding
    // the lock, the flag belongs to nobody, and is cleared.
    int exclusive = 0;
    if (ioctl(slave_, TIOCGEXCL, &exclusive) != 0 || !exclusive) return;
    if (flock(slave_, LOCK_SH | LOCK_NB) != 0) return; // its holder is alive
    flock(slave_, LOCK_UN);
    ioctl(slave_, TIOCNXCL);
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
    auto lastExclusiveCheck = lastTick;
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
            const bool failed = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
            if (failed && slave_ < 0) {
                // A real line whose far end has gone (an adapter pulled out) answers every poll
                // at once, with nothing to read, for as long as it is gone: the line is closed
                // and the caller waits for it to come back.
                hungUp_ = true;
                Close();
                break;
            }
            if (failed && !Wait(100'000)) continue;
        }
        if (slave_ >= 0 && now - lastExclusiveCheck >= std::chrono::seconds(1)) {
            lastExclusiveCheck = now;
            ClearLeftExclusive();
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
