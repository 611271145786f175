// A port's provisioning with the line database as its source of numbers: a
// reservation the connection cut off leaves the hello unanswered, whatever
// the line does before the port looks at it again.
#include <gtest/gtest.h>

#include "app/port_view.h"
#include "app/serial_numbers.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "line/line_database.h"
#include "line/line_serial_numbers.h"
#include "line_fixture.h"
#include "serial/event_loop.h"
#include "tcp_proxy.h"

namespace comflash::testing {
namespace {

using line::LineDatabase;
using line::LineSerialNumbers;

// The line's numbers, but a reservation that fails returns only once the line
// is back: the worker reconnects within milliseconds of a lost connection, so
// a port may well find the line available again by the time it asks.
class LineBackAtOnce final : public SerialNumberSource {
public:
    LineBackAtOnce(LineDatabase& line, LineSerialNumbers& numbers)
        : line_(line), numbers_(numbers) {}

    std::string Next() const override { return numbers_.Next(); }
    TakenNumber Take(const std::string& port) override {
        try {
            return numbers_.Take(port);
        } catch (...) {
            line_.WaitAvailable(Patience(std::chrono::seconds(30)));
            throw;
        }
    }
    bool Available() override { return numbers_.Available(); }
    SerialFate Settle(const std::string& number, SerialFate fate) override {
        return numbers_.Settle(number, fate);
    }
    bool Unconfirmed(const std::string& number) const override {
        return numbers_.Unconfirmed(number);
    }

private:
    LineDatabase& line_;
    LineSerialNumbers& numbers_;
};

// A port's view that keeps what would stop the port.
class QuietView final : public PortView {
public:
    void AppendLog(const std::string&) override {}
    void SetProgress(int) override {}
    void ShowCounters(std::int32_t, std::int32_t) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return true; }
    bool L3Checked() override { return false; }
    void StepFailed(const std::exception& error) override { failures.push_back(error.what()); }

    std::vector<std::string> failures;
};

TEST(LinePortProvisioning, ReservationCutOffIsAPauseEvenWhenTheLineIsBackAtOnce) {
    ScratchDatabase database;
    StationFolder station("a");
    station.Use();
    SettingsStore settings;
    settings.WriteSetting("SN", "QA000100");
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    LineDatabase line(database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port()),
                      "st-a", SettingsFolder());
    LineSerialNumbers numbers(line, settings);
    ASSERT_TRUE(line.WaitAvailable(Patience(std::chrono::seconds(30)))) << line.Problem();
    LineBackAtOnce source(line, numbers);
    EventLoop loop;
    SerialNumbers owner(source, loop);
    QuietView view;
    PortNumbers first(owner, view);
    PortNumbers second(owner, view);
    for (PortNumbers* port : {&first, &second}) {
        port->SetProvisioning(true);
        port->Opened(port == &first ? "COM1" : "COM2");
    }

    relay.CutAtRequest("FROM comflash_reserve(");
    bool answered = false;
    EXPECT_FALSE(first.ReadyForDevice([&] { answered = true; })) << "the hello waits";
    owner.Finish();
    EXPECT_TRUE(view.failures.empty()) << "a lost connection stops no port";
    EXPECT_FALSE(answered) << "the hello goes unanswered";
    EXPECT_TRUE(first.Held().empty());
    ASSERT_TRUE(line.Available());

    // The cut reservation is a gap for good; the next is another number.
    EXPECT_FALSE(second.ReadyForDevice([] {}));
    owner.Finish();
    EXPECT_EQ(second.Held(), "QA000101");
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT state FROM comflash_serial_numbers WHERE value = 100"),
              "reserved");
    second.Closed();
    owner.Finish();
}

}  // namespace
}  // namespace comflash::testing
