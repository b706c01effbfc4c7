// How the install monitor talks to kestril.vxd. The component is a DLL: its
// exports stand in for opening the device, its control requests and closing
// it, with the request numbers and data the monitor has always used.
#pragma once

#include <cstdint>

namespace vxd {

// Control requests.
constexpr std::uint32_t kArm = 1;    // in: ArmRequest; out: address of the status word
constexpr std::uint32_t kStop = 2;   // no data; non-zero result: nothing more is written
constexpr std::uint32_t kIgnore = 3; // in: a NUL-terminated path never to report

struct ArmRequest {
    void* event; // auto-reset event the driver signals when records were added
    void* ring;  // the shared record ring
};

// Export names and their types.
constexpr const char* kOpenExport = "kestril_open";
constexpr const char* kControlExport = "kestril_control";
constexpr const char* kCloseExport = "kestril_close";

extern "C" {
// Non-zero when the driver is ready; fails while it is open already.
using OpenFunction = int (*)();
// Non-zero on success.
using ControlFunction = int (*)(std::uint32_t code, const void* in, std::uint32_t in_size,
                                void* out, std::uint32_t out_size);
// Stops watching if still armed; the module can be unloaded afterwards.
using CloseFunction = void (*)();
}

} // namespace vxd
