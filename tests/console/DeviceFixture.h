#pragma once

#include "ConsoleFixture.h"
#include "SimulatedPrinter.h"
#include "Status.h"
#include "Switches.h"

#include <QComboBox>
#include <QWidget>

// The main window connected to a simulated printer on COM1.
class DeviceTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        Get<QComboBox>("ComboBox1")->setCurrentIndex(Printer.Port() - 1);
        Window->Button2Click(nullptr);
        ASSERT_TRUE(Window->IsConnected()) << Messages.Texts.join('|').toStdString();
        Printer.ClearRequests();
    }
    void TearDown() override {
        if (Window && Window->IsConnected()) Window->Button2Click(nullptr);
        ConsoleTest::TearDown();
    }

    // The requests the printer received, as (command, data) pairs.
    std::vector<std::pair<int, std::string>> Received() const {
        std::vector<std::pair<int, std::string>> out;
        for (const auto& request : Printer.Requests())
            out.emplace_back(request.Command, request.Data);
        return out;
    }

    SimulatedPrinter Printer{1};
};

// DeviceTest with the two check windows created beside the main window, as at start-up.
class CheckWindowsTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Switches = std::make_unique<TForm2>();
        State = std::make_unique<TForm4>();
        Form2 = Switches.get();
        Form4 = State.get();
    }
    void TearDown() override {
        State.reset();
        Switches.reset();
        DeviceTest::TearDown();
    }
    // Runs f(DeviceModel&) on the printer: faults, conditions.
    template <class F> void WithModel(F f) {
        Printer.WithModel([&](DeviceModel& model) {
            f(model);
            return 0;
        });
    }

    std::unique_ptr<TForm2> Switches;
    std::unique_ptr<TForm4> State;
};
