#pragma once

// Drives a DeviceModel one request at a time, with a fresh SEQ for every request, as the
// console's link does.
#include "DeviceModel.h"
#include "Frames.h"

#include <vector>

class Device {
public:
    Device() = default;
    explicit Device(const DeviceModel::Options& o) : model(o) {}

    frames::Reply Send(int cmd, std::string_view utf8Data = {}) {
        seq = seq >= 0x7E ? 0x20 : seq + 1;
        last = model.Receive(frames::Request(seq, cmd, utf8Data));
        return frames::Parse(last.Bytes());
    }

    // Data given as Windows-1251 bytes.
    frames::Reply SendRaw(int cmd, std::string_view cp1251Data) {
        return Send(cmd, sim::FromCp1251(cp1251Data));
    }

    // The link's fix-ups for 0x5A: blanks among the first 20 characters become separators.
    static std::vector<std::string> Fields(std::string data, bool diagnostics = false) {
        if (diagnostics) {
            for (std::size_t i = 0; i < data.size() && i < 20; ++i)
                if (data[i] == ' ') data[i] = ',';
        }
        std::vector<std::string> out(1);
        for (char c : data) {
            if (c == ',')
                out.emplace_back();
            else
                out.back() += c;
        }
        return out;
    }

    std::vector<std::string> RollUtf8() const {
        std::vector<std::string> out;
        for (const auto& l : model.GetState().paperRoll)
            out.push_back(sim::FromCp1251(l));
        return out;
    }

    DeviceModel model;
    DeviceModel::Output last;
    int seq = 0x20;
};
