// Owned Win32 handles, and the error rule every overlapped call follows.
#pragma once

#include <windows.h>

#include <utility>

namespace comflash {

// Aborts and drops what the port holds (PURGE_* flags) while it is being
// stopped or let go. A device that is gone has nothing left to drop, so a
// failure calls for nothing.
inline void DropQueued(HANDLE port, DWORD flags) {
    [[maybe_unused]] const bool dropped = ::PurgeComm(port, flags) != FALSE;
}

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    HANDLE get() const { return handle_; }
    // CreateFileA fails with INVALID_HANDLE_VALUE, CreateEventA with null.
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (valid())
            ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// A manual-reset event, created signalled, for one overlapped record.
inline UniqueHandle CreateOverlappedEvent() {
    return UniqueHandle(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

// After a failed overlapped call: ERROR_IO_PENDING means the operation runs
// on; ERROR_INVALID_HANDLE means the port handle is gone and the thread ends
// quietly; any other code is a fault that the thread reports before ending.
enum class IoFailure { Pending, HandleGone, Fault };

inline IoFailure ClassifyIoFailure(DWORD error) {
    if (error == ERROR_IO_PENDING)
        return IoFailure::Pending;
    if (error == ERROR_INVALID_HANDLE)
        return IoFailure::HandleGone;
    return IoFailure::Fault;
}

}  // namespace comflash
