// A pseudo-terminal pair for serial tests: the test holds the master end and
// plays the device; the component opens the slave path as its port.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace comflash::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void Write(const std::vector<std::uint8_t>& bytes) const;
    // Reads until `count` bytes have come or `timeout` has passed; a zero
    // timeout takes what has already arrived.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout) const;
    // The port's termios as the device end sees it.
    termios LineAttributes() const;
    speed_t LineSpeed() const;
    void SetLineAttributes(const termios& attributes) const;
    // The device vanishes: the port sees a hang-up.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint32_t seed = 1);

// Processor time this process has used so far, all threads together.
std::chrono::nanoseconds ProcessCpuTime();

}  // namespace comflash::test
