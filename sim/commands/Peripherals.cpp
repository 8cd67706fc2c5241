// The customer display, the drawer, the cutter and the beeper.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

DeviceModel::Result DeviceModel::ClearDisplay(std::string_view) {
    ShowDisplay({}, {});
    return {};
}

DeviceModel::Result DeviceModel::DisplayLine(bool upper, std::string_view data) {
    const std::string text(data.substr(0, kDisplayWidth));
    if (upper)
        ShowDisplay(text, state_.displayLower);
    else
        ShowDisplay(state_.displayUpper, text);
    return {};
}

DeviceModel::Result DeviceModel::OpenDrawer(std::string_view data) {
    long long pulse = kDefaultDrawerPulse;
    if (!data.empty() && (!ParseUint(data, 999, pulse) || pulse < 5 || pulse > 150)) {
        return Refused(kS0, kSyntax);
    }
    ++state_.drawerOpenings;
    state_.lastDrawerPulse = static_cast<int>(pulse);
    events_.push_back({EventKind::Drawer, {}, static_cast<int>(pulse)});
    return {};
}

DeviceModel::Result DeviceModel::Cut(std::string_view) {
    Result r;
    DoCut(r);
    return r;
}

DeviceModel::Result DeviceModel::Beep(std::string_view) {
    ++state_.beeps;
    events_.push_back({EventKind::Beep, {}, 0});
    return {};
}
