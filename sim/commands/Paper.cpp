// Paper and display: printing lines on the paper roll, the document's head and end, the cutter
// and the customer display, as the commands use them.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

bool DeviceModel::CanPrint(Result&) {
    return !state_.paperOut;
}

void DeviceModel::Print(Result& r, const std::string& line) {
    std::string text = line.substr(0, kLineWidth);
    state_.paperRoll.push_back(text);
    events_.push_back({EventKind::Printed, text, 0});
    ++r.busyLines;
    if (state_.paperLeft > 0 && --state_.paperLeft == 0) state_.paperOut = true;
}

void DeviceModel::PrintUtf8(Result& r, std::string_view utf8) {
    Print(r, Cp(utf8));
}

void DeviceModel::PrintCentered(Result& r, const std::string& line) {
    const std::string text = line.substr(0, kLineWidth);
    Print(r, std::string((kLineWidth - text.size()) / 2, ' ') + text);
}

void DeviceModel::PrintPair(Result& r, const std::string& left, const std::string& right) {
    const std::size_t room = kLineWidth > right.size() + 1 ? kLineWidth - right.size() - 1 : 0;
    std::string l = left.substr(0, room);
    Print(r, l + std::string(kLineWidth - l.size() - right.size(), ' ') + right);
}

void DeviceModel::PrintHeader(Result& r) {
    for (int i = 0; i < 6; ++i) {
        if (!state_.headerLines[i].empty()) PrintCentered(r, state_.headerLines[i]);
    }
}

void DeviceModel::PrintDocumentEnd(Result& r, const std::string& titleUtf8) {
    Print(r, std::string(kLineWidth, '-'));
    for (int i = 6; i < 8; ++i) {
        if (!state_.headerLines[i].empty()) PrintCentered(r, state_.headerLines[i]);
    }
    PrintPair(r, Cp("ДОК N ") + Padded(state_.documentNumber, 6), FormatDateTime(state_.clock));
    if (!state_.factoryNumber.empty() || !state_.fiscalNumber.empty()) {
        PrintPair(r, Cp("ЗН ") + state_.factoryNumber, Cp("ФН ") + state_.fiscalNumber);
    }
    PrintCentered(r, Cp(titleUtf8));
    if (state_.printOptions['C'] == "1") DoCut(r);
}

void DeviceModel::DoCut(Result& r) {
    ++state_.cuts;
    ++r.busyCuts;
    events_.push_back({EventKind::Cut, {}, 0});
}

void DeviceModel::ShowDisplay(const std::string& upper, const std::string& lower) {
    state_.displayUpper = upper.substr(0, kDisplayWidth);
    state_.displayLower = lower.substr(0, kDisplayWidth);
    events_.push_back({EventKind::Display, state_.displayUpper + "\n" + state_.displayLower, 0});
}
