// Another process that tries to open a port with its own component, so that
// exclusive opening is tested across processes, not only inside one.
// Exit status: 0 opened, 3 "Error opening serial port", 4 any other failure.
#include <cstring>

#include "serial/comm.h"
#include "serial/event_loop.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 4;
    comflash::EventLoop loop;
    comflash::TComm comm(loop);
    comm.SetCommName(argv[1]);
    try {
        comm.OpenPort();
    } catch (const comflash::ECommsError& error) {
        return std::strcmp(error.what(), comflash::comm_error_text::kCannotOpen) == 0 ? 3 : 4;
    }
    return 0;
}
