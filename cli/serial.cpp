// The blocking driver: the same loop a page runs with promises.
#include <chrono>

#include "serial.hpp"

namespace glyph8::cli {

std::uint64_t milliseconds_now() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

upload::problem run_upload(serial_port& port, const upload::request& what,
                           const std::function<void(std::uint32_t, std::uint32_t)>& progress,
                           upload::outcome& result) {
    upload::client client(what);
    std::uint8_t buffer[512];
    std::string why;
    std::uint32_t told = ~0u;
    auto a = client.advance(milliseconds_now(), {});
    while (!a.finished) {
        if (a.reset && !port.pulse_reset(why)) {
            return {upload::error::port_failed, "cannot reset the board: " + why};
        }
        if (!a.send.empty() && !port.write(a.send, why)) {
            return {upload::error::port_failed, "cannot write to the port: " + why};
        }
        const auto n = port.read(buffer, a.wait_ms, why);
        if (n < 0) {
            return {upload::error::port_failed, "cannot read from the port: " + why};
        }
        a = client.advance(milliseconds_now(), {buffer, static_cast<std::size_t>(n)});
        if (progress && client.pages_done() != told) {
            told = client.pages_done();
            progress(told, client.pages());
        }
    }
    result = client.result();
    return client.problem();
}

upload::problem upload_to_port(
    const std::string& port, const upload::request& what,
    const std::function<void(std::uint32_t done, std::uint32_t total)>& progress,
    upload::outcome& result) {
    upload::problem problem;
    const auto serial = open_serial_port(port, problem);
    if (!serial) {
        return problem;
    }
    return run_upload(*serial, what, progress, result);
}

}  // namespace glyph8::cli
