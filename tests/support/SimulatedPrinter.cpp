#include "SimulatedPrinter.h"

#include "Server.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace {

DeviceModel::Options FastOptions() {
    DeviceModel::Options o;
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    o.clock = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return o;
}

} // namespace

SimulatedPrinter::SimulatedPrinter(int comNumber) : SimulatedPrinter(comNumber, FastOptions()) {}

SimulatedPrinter::SimulatedPrinter(int comNumber, const DeviceModel::Options& options)
    : port_(comNumber), model_(options) {
    char folder[] = "/tmp/tr7042k-test-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    configHome_ = folder;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        hadXdg_ = true;
        savedXdg_ = old;
    }
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);

    server_ = std::make_unique<sim::Server>(model_, mutex_);
    std::string error;
    claim_ = sim::ClaimPort(port_, error);
    if (claim_ < 0 || !server_->OpenPty(error) ||
        !sim::MakePortLink(port_, claim_, server_->SlavePath(), link_, error)) {
        sim::ReleasePort(port_, claim_);
        server_.reset();
        std::filesystem::remove_all(configHome_);
        if (hadXdg_)
            setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        throw std::runtime_error("simulated printer: " + error);
    }
    slave_ = server_->SlavePath();
    thread_ = std::thread([this] { server_->Run(); });
}

SimulatedPrinter::~SimulatedPrinter() {
    server_->Stop();
    if (thread_.joinable()) thread_.join();
    server_->Close();
    server_.reset();
    sim::ReleasePort(port_, claim_);
    std::error_code ec;
    std::filesystem::remove_all(configHome_, ec);
    if (hadXdg_)
        setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

std::vector<SimulatedPrinter::Request> SimulatedPrinter::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : model_.Requests())
        out.push_back({r.command, r.data, r.refused});
    return out;
}

void SimulatedPrinter::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.ClearRequests();
}

std::vector<std::string> SimulatedPrinter::PaperRoll() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.GetState().paperRoll;
}

std::string SimulatedPrinter::DisplayUpper() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.GetState().displayUpper;
}

std::string SimulatedPrinter::DisplayLower() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.GetState().displayLower;
}

void SimulatedPrinter::HangUp() {
    server_->HangUp();
    // The serving thread closes the line; wait until it has, so the caller can rely on it.
    if (thread_.joinable()) thread_.join();
    sim::ServeNothing(claim_);
}
