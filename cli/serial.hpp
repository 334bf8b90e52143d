// A serial port at 115200 8N1, raw, for talking to a board's bootloader, and
// the blocking driver that runs the upload client over one. The calls that
// differ by system live in serial_posix.cpp and serial_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "glyph8/upload.hpp"

namespace glyph8::cli {

class serial_port {
  public:
    virtual ~serial_port() = default;
    // Pulses DTR and RTS, which resets an Arduino through its auto-reset
    // capacitor. A port without modem lines (a pseudo-terminal) is not an
    // error: the pulse is simply not sent.
    virtual bool pulse_reset(std::string& why) = 0;
    // Waits up to `timeout_ms` for bytes; returns how many came (0 if none)
    // or -1 with the reason in `why`.
    virtual std::ptrdiff_t read(std::span<std::uint8_t> buffer, std::uint32_t timeout_ms,
                                std::string& why) = 0;
    // Writes all of `bytes` or returns false with the reason in `why`.
    virtual bool write(std::span<const std::uint8_t> bytes, std::string& why) = 0;
};

// Opens `name` ("/dev/ttyACM0", "COM3") at 115200 baud, 8N1, raw. On failure
// returns null and says why in `problem` (no_such_port, no_permission,
// not_a_serial_port, port_failed).
std::unique_ptr<serial_port> open_serial_port(const std::string& name, upload::problem& problem);

// A clock in milliseconds, for the client.
std::uint64_t milliseconds_now();

// Runs `what` on the board at `port`, blocking until it is done.
// `progress` (may be empty) hears of every page. Returns the problem, if
// any; a compare's answer is in `result`.
upload::problem upload_to_port(
    const std::string& port, const upload::request& what,
    const std::function<void(std::uint32_t done, std::uint32_t total)>& progress,
    upload::outcome& result);

// Runs `what` over an open port.
upload::problem run_upload(serial_port& port, const upload::request& what,
                           const std::function<void(std::uint32_t, std::uint32_t)>& progress,
                           upload::outcome& result);

}  // namespace glyph8::cli
