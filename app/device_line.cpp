#include "app/device_line.h"

#include "app/settings_folder.h"
#include "app/update_session.h"
#include "protocol/frame.h"

namespace comflash {

void ConfigureDeviceLine(TComm& comm) {
    comm.SetDtrControl(TDtrControl::DtrDisable);
    comm.SetRtsControl(TRtsControl::RtsDisable);
    comm.SetTxContinueOnXoff(false);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetReadIntervalTimeout(30);
    comm.SetPortMap(PortMapFile());
}

void SetDeviceLineRate(TComm& comm, std::uint32_t baudRate, bool quickTurnaround) {
    // The rule is off before the line goes down to the base rate and on only
    // once it runs at the update rate, so no hello is ever read under it.
    const bool quick = quickTurnaround && baudRate != kBaseRate;
    if (!quick)
        comm.SetReadCompletion(nullptr);
    comm.SetBaudRate(baudRate);
    if (quick && !comm.HasReadCompletion())
        comm.SetReadCompletion(EndsWithCheckedFrame);
}

}  // namespace comflash
