// A port's provisioning with the line database as its source of numbers: a
// reservation the connection cut off leaves the hello unanswered, whatever
// the line does before the port looks at it again.
#include <gtest/gtest.h>

#include "app/port_provisioning.h"
#include "app/serial_provisioning.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "line/line_database.h"
#include "line/line_serial_numbers.h"
#include "line_fixture.h"
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
    std::string Take(const std::string& port, const std::string& atLeast) override {
        try {
            return numbers_.Take(port, atLeast);
        } catch (...) {
            line_.WaitAvailable(Patience(std::chrono::seconds(30)));
            throw;
        }
    }
    bool Available() override { return numbers_.Available(); }
    void Settle(const std::string& number, SerialFate fate) override {
        numbers_.Settle(number, fate);
    }
    bool Unconfirmed(const std::string& number) const override {
        return numbers_.Unconfirmed(number);
    }

private:
    LineDatabase& line_;
    LineSerialNumbers& numbers_;
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
    SerialProvisioning shared(source);
    PortProvisioning first(shared);
    PortProvisioning second(shared);

    relay.CutAtRequest("FROM comflash_reserve(");
    bool ready = true;
    ASSERT_NO_THROW(ready = first.ReadyForDevice("COM1")) << "a lost connection stops no run";
    EXPECT_FALSE(ready) << "the hello goes unanswered";
    ASSERT_TRUE(line.Available());

    // The turn was given up, and the cut reservation is a gap for good.
    ASSERT_TRUE(second.ReadyForDevice("COM2"));
    EXPECT_EQ(second.TakeNumberToSend(), "QA000101");
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT state FROM comflash_serial_numbers WHERE value = 100"),
              "reserved");
}

}  // namespace
}  // namespace comflash::testing
