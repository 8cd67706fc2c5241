#include "LinkPeer.h"

#include "PortPath.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace linktest {

std::string checksumChars(uint32_t sum) {
    std::string out(4, '0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(0x30 + ((sum >> (12 - 4 * i)) & 0xF));
    return out;
}

namespace {

uint32_t byteSum(const std::string& bytes) {
    uint32_t sum = 0;
    for (unsigned char c : bytes)
        sum += c;
    return sum;
}

} // namespace

std::string replyFrame(unsigned char seq, unsigned char cmd, const std::string& data,
                       const StatusBytes& status, bool goodChecksum) {
    std::string covered;
    covered += static_cast<char>(0x2B + data.size());
    covered += static_cast<char>(seq);
    covered += static_cast<char>(cmd);
    covered += data;
    covered += '\x04';
    for (unsigned char s : status)
        covered += static_cast<char>(s);
    covered += '\x05';
    std::string bcc = checksumChars(byteSum(covered));
    if (!goodChecksum) bcc[3] = static_cast<char>(bcc[3] == '0' ? '1' : '0');
    return "\x01" + covered + bcc + "\x03";
}

std::string requestFrame(unsigned char seq, unsigned char cmd, const std::string& data) {
    std::string covered;
    covered += static_cast<char>(0x24 + data.size());
    covered += static_cast<char>(seq);
    covered += static_cast<char>(cmd);
    covered += data;
    covered += '\x05';
    return "\x01" + covered + checksumChars(byteSum(covered)) + "\x03";
}

std::string cp1251(const std::string& utf8) {
    iconv_t cd = iconv_open("CP1251", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();
    std::string in = utf8;
    std::string out(in.size() * 2 + 1, '\0');
    char* inp = in.data();
    size_t inLeft = in.size();
    char* outp = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) std::abort();
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::string hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        if (!out.empty()) out += ' ';
        out += buf;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

TestEnv::TestEnv() {
    std::string templ = (std::filesystem::temp_directory_path() / "trlink.XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    root_ = templ;
    std::filesystem::create_directories(portsDir());
    std::filesystem::create_directories(workDir());
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) {
        hadXdg_ = true;
        savedXdg_ = xdg;
    }
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    savedCwd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chdir(workDir().c_str()) != 0) throw std::runtime_error("chdir failed");
}

TestEnv::~TestEnv() {
    if (savedCwd_ >= 0) {
        if (fchdir(savedCwd_) != 0) {
            // The old directory is gone; stay where we are.
        }
        close(savedCwd_);
    }
    for (const auto& [port, claim] : claims_)
        PortClaimRelease(port, claim);
    if (hadXdg_)
        setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void TestEnv::linkPort(int n, const std::filesystem::path& target) const {
    std::filesystem::path link = portsDir() / ("com" + std::to_string(n));
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(target, link);
    // A pseudo-terminal is a port only while a simulator serves it: the test's device does,
    // holding the claim a simulated printer holds.
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && PortTargetKindOf(&st, "/sys") == PortTargetPseudo) {
        if (!claims_.count(n)) claims_[n] = PortClaim(n);
        PortClaimServe(claims_[n], target.c_str());
    }
}

std::string TestEnv::logBytes() const {
    std::ifstream in(workDir() / "fpllog.dat", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TestEnv::logExists() const {
    return std::filesystem::exists(workDir() / "fpllog.dat");
}

// ---------------------------------------------------------------------------------------------

Answer quietReply(const Request& request, const std::string& data) {
    return Answer::raw(replyFrame(request.seq, request.cmd, data));
}

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("cannot open the slave side");
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    responder_ = [](const Request& r) { return quietReply(r); };
    thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    stop_ = true;
    thread_.join();
    if (master_ >= 0) close(master_);
    close(slave_);
}

void PtyPeer::script(Answer answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(answer));
}

void PtyPeer::setResponder(std::function<Answer(const Request&)> responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void PtyPeer::answerNothing() {
    setResponder([](const Request&) { return Answer::silence(); });
}

std::string PtyPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<Request> PtyPeer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string PtyPeer::receivedAfterSettling() const {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return received();
}

void PtyPeer::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    pending_.clear();
    requests_.clear();
}

void PtyPeer::run() {
    unsigned char buf[512];
    while (!stop_) {
        if (hangUpWanted_) {
            close(master_);
            master_ = -1;
            lineDown_ = true;
            return;
        }
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 5) <= 0) continue;
        if (!(p.revents & POLLIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        std::vector<Request> complete;
        {
            std::lock_guard lock(mutex_);
            received_.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
            pending_.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
            // A request frame is n + 10 bytes with LEN = 0x24 + n; anything before SOH is noise.
            for (;;) {
                size_t soh = pending_.find('\x01');
                if (soh == std::string::npos) {
                    pending_.clear();
                    break;
                }
                pending_.erase(0, soh);
                if (pending_.size() < 2) break;
                unsigned char len = static_cast<unsigned char>(pending_[1]);
                if (len < 0x24) {
                    pending_.erase(0, 1);
                    continue;
                }
                size_t total = static_cast<size_t>(len - 0x24) + 10;
                if (pending_.size() < total) break;
                Request r;
                r.frame = pending_.substr(0, total);
                r.seq = static_cast<unsigned char>(r.frame[2]);
                r.cmd = static_cast<unsigned char>(r.frame[3]);
                r.data = r.frame.substr(4, total - 10);
                pending_.erase(0, total);
                requests_.push_back(r);
                complete.push_back(r);
            }
        }
        for (const Request& r : complete) {
            handle(r);
            if (master_ < 0) return;
        }
    }
}

void PtyPeer::writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

void PtyPeer::handle(const Request& request) {
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        if (!script_.empty()) {
            answer = std::move(script_.front());
            script_.pop_front();
        } else {
            answer = responder_(request);
        }
    }
    if (answer.before) answer.before();
    writeAll(answer.bytes);
    if (!answer.rest.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.pauseMs));
        writeAll(answer.rest);
    }
    if (answer.hangUp) {
        // Let the bytes reach the slave's input queue before the line drops.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        close(master_);
        master_ = -1;
        lineDown_ = true;
    }
}

void PtyPeer::send(const std::string& bytes) {
    writeAll(bytes);
}

void PtyPeer::hangUp() {
    hangUpWanted_ = true;
    while (!lineDown_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace linktest
