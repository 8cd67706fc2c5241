// Frames, status bytes, faults and timing of the simulated printer. The commands themselves are
// in commands/, one file per command family.
#include "DeviceModel.h"

#include "Cp1251.h"

#include <cstdio>

namespace {

constexpr char kSoh = 0x01;
constexpr char kEtx = 0x03;
constexpr char kSep = 0x04;
constexpr char kEnq = 0x05;
constexpr char kNak = 0x15;
constexpr char kSyn = 0x16;

// Four checksum characters: the low 16 bits of the sum, one nibble each plus 0x30.
std::string Bcc(unsigned sum) {
    std::string out(4, '0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(0x30 + ((sum >> (12 - 4 * i)) & 0xF));
    return out;
}

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

} // namespace

// ---- Output ---------------------------------------------------------------------------------

std::string DeviceModel::Output::Bytes() const {
    std::string all;
    for (const auto& c : chunks)
        all += c.bytes;
    return all;
}

DeviceModel::Micros DeviceModel::Output::Duration() const {
    Micros total{0};
    for (const auto& c : chunks)
        total += c.delay;
    return total;
}

DeviceModel::Money DeviceModel::Receipt::Subtotal() const {
    Money sum = 0;
    for (const auto& l : lines)
        sum += l.amount;
    return sum;
}

// ---- Time -----------------------------------------------------------------------------------

std::int64_t DeviceModel::ToSeconds(const DateTime& dt) {
    return DaysFromCivil(dt.year, dt.month, dt.day) * 86400 + dt.hour * 3600 + dt.minute * 60 +
           dt.second;
}

DeviceModel::DateTime DeviceModel::FromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    DateTime dt;
    dt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    dt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    dt.year = static_cast<int>(yoe + era * 400 + (dt.month <= 2));
    dt.hour = static_cast<int>(rest / 3600);
    dt.minute = static_cast<int>(rest % 3600 / 60);
    dt.second = static_cast<int>(rest % 60);
    return dt;
}

std::string DeviceModel::FormatDateTime(const DateTime& dt) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d:%02d:%02d", dt.day, dt.month, dt.year % 100,
                  dt.hour, dt.minute, dt.second);
    return buf;
}

std::string DeviceModel::FormatMoney(Money value) {
    char buf[32];
    const Money a = value < 0 ? -value : value;
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", value < 0 ? "-" : "",
                  static_cast<long long>(a / 100), static_cast<long long>(a % 100));
    return buf;
}

void DeviceModel::AdvanceClock(std::chrono::milliseconds elapsed) {
    if (elapsed.count() <= 0) return;
    clockMillis_ += elapsed.count();
    const std::int64_t whole = clockMillis_ / 1000;
    clockMillis_ %= 1000;
    if (whole > 0) state_.clock = FromSeconds(ToSeconds(state_.clock) + whole);
}

// ---- Construction and device conditions -----------------------------------------------------

DeviceModel::DeviceModel() : DeviceModel(Options{}) {}

DeviceModel::DeviceModel(const Options& options) : options_(options) {
    state_.factoryNumber = options.factoryNumber;
    state_.fiscalNumber = options.fiscalNumber;
    state_.taxNumber = options.taxNumber;
    state_.switches = options.switches;
    state_.adminPassword = options.adminPassword;
    state_.clock = options.clock;
    state_.fiscalMemorySize = options.fiscalMemorySize;
    state_.paperLeft = options.paperLines > 0 ? options.paperLines : -1;
    state_.operatorPasswords.fill(kDefaultPassword);
    for (char o : {'C', 'L', 'J', 'I'})
        state_.printOptions.emplace(o, std::string(1, '0'));
    state_.fiscalized = !state_.factoryNumber.empty() && !state_.fiscalNumber.empty();
}

void DeviceModel::SetTiming(int lineTimeMs, int cutTimeMs, int baud) {
    options_.lineTimeMs = lineTimeMs;
    options_.cutTimeMs = cutTimeMs;
    options_.baud = baud;
}

void DeviceModel::SetPaperOut(bool out) {
    state_.paperOut = out;
    if (!out && state_.paperLeft == 0) state_.paperLeft = options_.paperLines;
}

void DeviceModel::SetSwitches(const std::string& switches) {
    state_.switches = switches;
}

void DeviceModel::MakeFresh() {
    state_.factoryNumber.clear();
    state_.fiscalNumber.clear();
    state_.taxNumber.clear();
    state_.fiscalMemoryFormatted = false;
    state_.fiscalized = false;
    state_.fiscalMemory.clear();
    state_.fiscalReceiptNumber = 0;
}

void DeviceModel::LeaveReceiptOpen(ReceiptKind kind, int operatorNo) {
    state_.receipt = Receipt{};
    state_.receipt.kind = kind;
    state_.receipt.operatorNo = operatorNo;
    state_.receipt.till = 1;
}

std::vector<DeviceModel::Event> DeviceModel::TakeEvents() {
    std::vector<Event> out;
    out.swap(events_);
    return out;
}

// ---- Frames ---------------------------------------------------------------------------------

DeviceModel::Output DeviceModel::Receive(std::string_view bytes) {
    input_.append(bytes.data(), bytes.size());
    return ScanInput();
}

DeviceModel::Output DeviceModel::LineIdle() {
    Output out;
    if (input_.empty()) return out;
    // A request that stopped in the middle will never be completed: refuse it, then look for
    // a later SOH in what was received.
    if (input_[0] == kSoh) {
        out.chunks.push_back({Micros{0}, std::string(1, kNak)});
        input_.erase(0, 1);
    }
    Output more = ScanInput();
    for (auto& c : more.chunks)
        out.chunks.push_back(std::move(c));
    // What is left is an incomplete frame again, or nothing; either way it is dropped.
    if (!input_.empty() && input_[0] == kSoh) {
        out.chunks.push_back({Micros{0}, std::string(1, kNak)});
    }
    input_.clear();
    return out;
}

DeviceModel::Output DeviceModel::ScanInput() {
    Output out;
    auto append = [&out](Output&& o) {
        for (auto& c : o.chunks)
            out.chunks.push_back(std::move(c));
        out.synForever = out.synForever || o.synForever;
        out.hangUp = out.hangUp || o.hangUp;
    };
    for (;;) {
        // Resynchronise: everything before an SOH is line noise.
        const auto soh = input_.find(kSoh);
        if (soh == std::string::npos) {
            input_.clear();
            break;
        }
        input_.erase(0, soh);
        if (input_.size() < 2) break;
        const auto len = static_cast<unsigned char>(input_[1]);
        if (len < 0x24) {
            out.chunks.push_back({Micros{0}, std::string(1, kNak)});
            input_.erase(0, 1);
            continue;
        }
        const std::size_t n = len - 0x24;
        const std::size_t total = n + 10;
        if (input_.size() < total) break;
        const auto seq = static_cast<unsigned char>(input_[2]);
        unsigned sum = 0;
        for (std::size_t i = 1; i <= 4 + n; ++i)
            sum += static_cast<unsigned char>(input_[i]);
        const bool ok = seq >= 0x20 && input_[4 + n] == kEnq && input_[9 + n] == kEtx &&
                        input_.compare(5 + n, 4, Bcc(sum)) == 0;
        if (!ok) {
            out.chunks.push_back({Micros{0}, std::string(1, kNak)});
            input_.erase(0, 1);
            continue;
        }
        const int command = static_cast<unsigned char>(input_[3]);
        const std::string data = input_.substr(4, n);
        input_.erase(0, total);
        append(Process(seq, command, data));
        if (out.hangUp) {
            input_.clear();
            break;
        }
    }
    return out;
}

bool DeviceModel::UseFault(int& counter) {
    if (counter == 0) return false;
    if (counter > 0) --counter;
    return true;
}

std::string DeviceModel::BuildReply(int seq, int command, const std::string& data,
                                    const std::array<std::uint8_t, 6>& status) const {
    // LEN is one byte, so a reply holds at most 212 data bytes.
    const std::string body = data.substr(0, 0xFF - 0x2B);
    std::string frame;
    frame += kSoh;
    frame += static_cast<char>(0x2B + body.size());
    frame += static_cast<char>(seq);
    frame += static_cast<char>(command);
    frame += body;
    frame += kSep;
    for (auto s : status)
        frame += static_cast<char>(s);
    frame += kEnq;
    unsigned sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        sum += static_cast<unsigned char>(frame[i]);
    frame += Bcc(sum);
    frame += kEtx;
    return frame;
}

void DeviceModel::AddPaced(Output& out, Micros delay, const std::string& bytes) const {
    if (options_.baud <= 0) {
        out.chunks.push_back({delay, bytes});
        return;
    }
    // Ten bits a byte: start, eight data bits, stop.
    const Micros perByte{10'000'000LL / options_.baud};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.chunks.push_back({(i == 0 ? delay : Micros{0}) + perByte, bytes.substr(i, 1)});
    }
}

DeviceModel::Output DeviceModel::Process(int seq, int command, std::string_view data) {
    Output out;
    requests_.push_back({command, seq, std::string(data)});

    if (UseFault(faults_.hangUp)) {
        out.hangUp = true;
        return out;
    }
    if (UseFault(faults_.silent)) return out;
    if (UseFault(faults_.nak)) {
        AddPaced(out, Micros{0}, std::string(1, kNak));
        return out;
    }
    if (UseFault(faults_.synForever)) {
        out.synForever = true;
        return out;
    }

    // The same SEQ, command and data again: the console did not get the last reply. Send it
    // again without carrying the command out a second time.
    std::string reply;
    Result result;
    if (haveLast_ && seq == lastSeq_ && command == lastCommand_ && data == lastData_) {
        reply = lastReply_;
    } else {
        // Status bits chosen for this command stand for a fault of the device: a command that
        // meets an error bit is not carried out.
        std::array<std::uint8_t, 6> injected{};
        for (int key : {0, command}) {
            auto it = faults_.statusBits.find(key);
            if (it == faults_.statusBits.end()) continue;
            for (int i = 0; i < 6; ++i)
                injected[i] |= it->second[i] & 0x7F;
        }
        const auto isError = [](const std::array<std::uint8_t, 6>& s) {
            return (s[0] & 0x37) || (s[1] & 0x17) || (s[2] & 0x01) || (s[4] & 0x3D) ||
                   (s[5] & 0x05);
        };
        if (!isError(injected)) result = Execute(command, data);
        for (int i = 0; i < 6; ++i)
            result.status[i] |= injected[i];
        requests_.back().refused = isError(result.status);
        reply = BuildReply(seq, command, result.data, StatusBytes(result));
        haveLast_ = true;
        lastSeq_ = seq;
        lastCommand_ = command;
        lastData_ = std::string(data);
        lastReply_ = reply;
    }

    if (UseFault(faults_.badChecksum)) {
        char& last = reply[reply.size() - 2];
        last = last == 0x3F ? 0x30 : static_cast<char>(last + 1);
    }
    if (UseFault(faults_.cutShort)) reply.resize(reply.size() / 2);
    if (UseFault(faults_.secondSoh)) reply = reply.substr(0, reply.size() / 2) + reply;
    if (UseFault(faults_.garbage)) reply = faults_.garbageBytes + reply;

    // While the device prints it tells the console it is busy with a SYN every interval.
    const std::int64_t busyMs = static_cast<std::int64_t>(result.busyLines) * options_.lineTimeMs +
                                static_cast<std::int64_t>(result.busyCuts) * options_.cutTimeMs;
    const std::int64_t interval = options_.synIntervalMs > 0 ? options_.synIntervalMs : 60;
    std::int64_t sent = 0;
    while (busyMs > 0 && sent + interval < busyMs) {
        AddPaced(out, Micros{interval * 1000}, std::string(1, kSyn));
        sent += interval;
    }
    AddPaced(out, Micros{(busyMs - sent) * 1000}, reply);
    return out;
}

// ---- Status ---------------------------------------------------------------------------------

std::array<std::uint8_t, 6> DeviceModel::StatusBytes(const Result& result) const {
    std::array<std::uint8_t, 6> s = result.status;
    if (!state_.clockValid) s[0] |= 0x04;
    const ReceiptKind kind = state_.receipt.kind;
    if (kind == ReceiptKind::Return) s[1] |= 0x08;
    if (state_.paperOut) s[2] |= 0x01;
    if (kind == ReceiptKind::Fiscal || kind == ReceiptKind::Return) s[2] |= 0x08;
    if (kind == ReceiptKind::NonFiscal) s[2] |= 0x20;
    // S3 shows the switches SW1..SW7.
    for (std::size_t i = 0; i < 7 && i < state_.switches.size(); ++i) {
        if (state_.switches[i] == '1') s[3] |= static_cast<std::uint8_t>(1u << i);
    }
    const int records = static_cast<int>(state_.fiscalMemory.size());
    if (state_.fiscalMemoryFormatted && records >= state_.fiscalMemorySize)
        s[4] |= 0x10;
    else if (state_.fiscalMemoryFormatted && state_.fiscalMemorySize - records <= 50)
        s[4] |= 0x08;
    if (state_.fiscalMemoryFormatted) s[5] |= 0x02;
    if (state_.fiscalized) s[5] |= 0x08;
    if (!state_.factoryNumber.empty()) s[5] |= 0x10;
    if (!state_.fiscalNumber.empty()) s[5] |= 0x20;
    // General error: syntax, invalid command, printing error, overflow, not permitted or paper
    // out. General fiscal-memory error: write error or memory full.
    if ((s[0] & 0x13) || (s[1] & 0x03) || (s[2] & 0x01)) s[0] |= 0x20;
    if (s[4] & 0x11) s[4] |= 0x20;
    for (auto& b : s)
        b |= 0x80;
    return s;
}
