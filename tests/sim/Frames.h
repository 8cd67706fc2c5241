#pragma once

// A tiny request builder and reply parser written for the tests, from the wire format alone, so
// that the simulator is checked against the protocol and not against itself.
#include "Cp1251.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace frames {

inline std::string Bcc(unsigned sum) {
    std::string s(4, '0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(0x30 + ((sum >> (12 - 4 * i)) & 0xF));
    return s;
}

// SOH LEN SEQ CMD data ENQ BCC ETX, with the data bytes exactly as given.
inline std::string RequestBytes(int seq, int cmd, std::string_view data) {
    std::string f;
    f += '\x01';
    f += static_cast<char>(0x24 + data.size());
    f += static_cast<char>(seq);
    f += static_cast<char>(cmd);
    f += data;
    f += '\x05';
    unsigned sum = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        sum += static_cast<unsigned char>(f[i]);
    f += Bcc(sum);
    f += '\x03';
    return f;
}

// A request whose data are given as UTF-8 and sent as Windows-1251.
inline std::string Request(int seq, int cmd, std::string_view utf8Data = {}) {
    return RequestBytes(seq, cmd, sim::ToCp1251(utf8Data));
}

struct Reply {
    bool valid = false; // a whole frame with a correct checksum
    int seq = 0, cmd = 0;
    std::string data; // Windows-1251
    std::array<std::uint8_t, 6> status{};
    std::string Utf8() const { return sim::FromCp1251(data); }
    // Error bits as the console reads them: the mapped error bits of S0, S1, S2, S4, S5.
    bool Error() const {
        return (status[0] & 0x37) || (status[1] & 0x17) || (status[2] & 0x01) ||
               (status[4] & 0x3D) || (status[5] & 0x05);
    }
};

// Parses the frame that starts at the last SOH of the bytes.
inline Reply Parse(std::string_view bytes) {
    Reply r;
    const auto soh = bytes.rfind('\x01');
    if (soh == std::string_view::npos) return r;
    const std::string_view f = bytes.substr(soh);
    if (f.size() < 17) return r;
    const std::size_t d = static_cast<unsigned char>(f[1]) - 0x2B;
    if (f.size() != d + 17 || f[4 + d] != '\x04' || f[11 + d] != '\x05' || f[16 + d] != '\x03')
        return r;
    unsigned sum = 0;
    for (std::size_t i = 1; i <= 11 + d; ++i)
        sum += static_cast<unsigned char>(f[i]);
    if (f.substr(12 + d, 4) != Bcc(sum)) return r;
    r.valid = true;
    r.seq = static_cast<unsigned char>(f[2]);
    r.cmd = static_cast<unsigned char>(f[3]);
    r.data = std::string(f.substr(4, d));
    for (int i = 0; i < 6; ++i)
        r.status[i] = static_cast<std::uint8_t>(f[5 + d + i]);
    return r;
}

} // namespace frames
