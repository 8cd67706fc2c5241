// Feeds arbitrary bytes to the simulated printer's request parser and command handlers. The
// first byte picks the mode: raw bytes cut into bursts (frames split across reads, noise, broken
// frames), or records [command][length][data] sent as well-formed requests so that the command
// handlers get arbitrary data. Nothing may crash, and every reply must be a well-formed frame.
#include "DeviceModel.h"
#include "Frames.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void CheckReplies(const std::string& out) {
    // Every SOH the device sends starts a complete reply frame with a matching checksum.
    std::size_t pos = 0;
    while ((pos = out.find('\x01', pos)) != std::string::npos) {
        if (pos + 17 > out.size()) std::abort();
        const std::size_t d = static_cast<unsigned char>(out[pos + 1]) - 0x2B;
        if (out[pos + 1] < 0x2B || pos + 17 + d > out.size()) std::abort();
        if (out[pos + 4 + d] != 0x04 || out[pos + 11 + d] != 0x05 || out[pos + 16 + d] != 0x03)
            std::abort();
        unsigned sum = 0;
        for (std::size_t i = pos + 1; i <= pos + 11 + d; ++i)
            sum += static_cast<unsigned char>(out[i]);
        for (int k = 0; k < 4; ++k) {
            const char want = static_cast<char>(0x30 + ((sum >> (12 - 4 * k)) & 0xF));
            if (out[pos + 12 + d + k] != want) std::abort();
        }
        pos += 17 + d;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    DeviceModel model;
    if (data[0] & 0x80) {
        int seq = 0x20;
        for (std::size_t i = 0; i + 2 <= input.size();) {
            const int cmd = static_cast<unsigned char>(input[i]);
            const std::size_t len =
                std::min<std::size_t>(static_cast<unsigned char>(input[i + 1]),
                                      std::min<std::size_t>(input.size() - i - 2, 200));
            seq = seq >= 0x7E ? 0x20 : seq + 1;
            const auto out =
                model.Receive(frames::RequestBytes(seq, cmd, input.substr(i + 2, len)));
            CheckReplies(out.Bytes());
            i += 2 + len;
        }
        return 0;
    }
    const std::size_t burst = 1 + data[0] % 32;
    // Receive, which runs every command the bytes reach, must hold up; its replies are checked.
    for (std::size_t i = 0; i < input.size(); i += burst) {
        const auto out = model.Receive(input.substr(i, burst));
        for (const auto& chunk : out.chunks) {
            if (chunk.delay.count() < 0) std::abort();
        }
        CheckReplies(out.Bytes());
    }
    CheckReplies(model.LineIdle().Bytes());
    model.TakeEvents();
    return 0;
}
