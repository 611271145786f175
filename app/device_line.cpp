#include "app/device_line.h"

#include "app/settings_folder.h"

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

}  // namespace comflash
