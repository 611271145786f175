// The identifiers of the Windows windows' controls, so that a program that
// drives a window (the tests) finds each control by what it is.
#pragma once

#include <string_view>

#include "frontend/main_window_layout.h"

namespace comflash::winui {

// The operator's window: each control of the layout table by its place in it.
inline int ControlId(std::string_view name) {
    return 1000 + static_cast<int>(layout::IndexOf(name));
}

// The station window's own controls.
inline constexpr int kUpdateModeId = 2001;
inline constexpr int kSerialModeId = 2002;
inline constexpr int kPortsButtonId = 2003;
inline constexpr int kOpenAllId = 2004;
inline constexpr int kCloseAllId = 2005;
inline constexpr int kTotalsId = 2006;
inline constexpr int kHourId = 2007;
inline constexpr int kLineStateId = 2008;
inline constexpr int kStatusId = 2009;
inline constexpr int kNextSerialId = 2010;
// A tile's controls: kTileIdBase + kTileIdStride * tile + one of these.
inline constexpr int kTileIdBase = 3000;
inline constexpr int kTileIdStride = 20;
inline constexpr int kTileName = 0;
inline constexpr int kTileSocket = 1;
inline constexpr int kTileOpenClose = 2;
inline constexpr int kTileState = 3;
inline constexpr int kTileDetail = 4;
inline constexpr int kTileProgress = 5;
inline constexpr int kTileCounters = 6;
inline constexpr int kTileLogButton = 7;
inline constexpr int kTileLog = 8;

inline int TileControlId(std::size_t tile, int control) {
    return kTileIdBase + kTileIdStride * static_cast<int>(tile) + control;
}

}  // namespace comflash::winui
