// Serial ports on Windows: COMn through CreateFile and the comm API.
#include <windows.h>

#include "serial.hpp"

namespace glyph8::cli {

namespace {

// A page and its command take 12 ms at 115200 baud.
constexpr DWORD write_timeout_ms = 2000;

std::string last_error_text(DWORD code) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message;
}

// The timeouts of a read that takes what has come and returns at once.
constexpr COMMTIMEOUTS read_at_once{MAXDWORD, 0, 0, 0, write_timeout_ms};

// The timeouts of a read that waits up to `ms` for its whole count. The
// documented "return at the first byte" setting (MAXDWORD, MAXDWORD, ms)
// holds every read for the whole `ms` under Wine, so that each command to
// the bootloader took its whole timeout, a second, and a whole Uno a quarter
// of an hour; a read of one byte ends when that byte comes on Windows and
// under Wine alike.
COMMTIMEOUTS read_one_within(DWORD ms) {
    return {0, 0, ms, 0, write_timeout_ms};
}

bool same_timeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// A port without modem lines (Wine's pseudo-terminals, some Bluetooth
// ports) refuses the reset lines with one of these.
bool no_modem_lines(DWORD e) {
    return e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION || e == ERROR_INVALID_PARAMETER;
}

// What a failed read or write says: a port that is gone says so.
std::string transfer_error_text(DWORD e) {
    if (e == ERROR_NOT_READY || e == ERROR_DEVICE_NOT_CONNECTED || e == ERROR_BAD_COMMAND ||
        e == ERROR_OPERATION_ABORTED || e == ERROR_GEN_FAILURE) {
        return "the port went away (" + last_error_text(e) + "): was the board unplugged?";
    }
    return last_error_text(e);
}

class win32_serial_port : public serial_port {
  public:
    explicit win32_serial_port(HANDLE h) : h_(h) {}
    ~win32_serial_port() override { CloseHandle(h_); }
    win32_serial_port(const win32_serial_port&) = delete;
    win32_serial_port& operator=(const win32_serial_port&) = delete;

    bool pulse_reset(std::string& why) override {
        // Each line the port has goes down, then up again.
        struct line {
            DWORD clear, set;
            bool pulsed;
        } lines[] = {{CLRDTR, SETDTR, false}, {CLRRTS, SETRTS, false}};
        bool any = false;
        for (auto& l : lines) {
            l.pulsed = EscapeCommFunction(h_, l.clear) != 0;
            if (const DWORD e = l.pulsed ? 0 : GetLastError(); e != 0 && !no_modem_lines(e)) {
                why = last_error_text(e);
                return false;
            }
            any = any || l.pulsed;
        }
        if (!any) {
            return true;
        }
        Sleep(upload::reset_pulse_ms);
        for (const auto& l : lines) {
            if (l.pulsed && !EscapeCommFunction(h_, l.set)) {
                why = last_error_text(GetLastError());
                return false;
            }
        }
        // What the sketch sent before the reset is not the bootloader's.
        PurgeComm(h_, PURGE_RXCLEAR);
        return true;
    }

    std::ptrdiff_t read(std::span<std::uint8_t> buffer, std::uint32_t timeout_ms,
                        std::string& why) override {
        if (buffer.empty()) {
            return 0;
        }
        std::size_t got = 0;
        if (timeout_ms > 0) {
            // The first byte, as soon as it comes.
            const auto first = read_with(read_one_within(timeout_ms), buffer.first(1), why);
            if (first <= 0) {
                return first;
            }
            got = 1;
        }
        // Then whatever else has come with it.
        const auto rest = read_with(read_at_once, buffer.subspan(got), why);
        if (rest < 0) {
            return -1;
        }
        return static_cast<std::ptrdiff_t>(got) + rest;
    }

    bool write(std::span<const std::uint8_t> bytes, std::string& why) override {
        while (!bytes.empty()) {
            DWORD n = 0;
            if (!WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) {
                why = transfer_error_text(GetLastError());
                return false;
            }
            if (n == 0) {
                // A write timeout with nothing taken: the line is held.
                why = "the port took nothing in " + std::to_string(write_timeout_ms / 1000) + " s";
                return false;
            }
            bytes = bytes.subspan(n);
        }
        return true;
    }

  private:
    std::ptrdiff_t read_with(const COMMTIMEOUTS& timeouts, std::span<std::uint8_t> buffer,
                             std::string& why) {
        if (buffer.empty()) {
            return 0;
        }
        if (!timeouts_set_ || !same_timeouts(timeouts, timeouts_)) {
            COMMTIMEOUTS t = timeouts;
            if (!SetCommTimeouts(h_, &t)) {
                why = transfer_error_text(GetLastError());
                return -1;
            }
            timeouts_ = timeouts;
            timeouts_set_ = true;
        }
        DWORD n = 0;
        if (!ReadFile(h_, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            why = transfer_error_text(GetLastError());
            return -1;
        }
        return static_cast<std::ptrdiff_t>(n);
    }

    HANDLE h_;
    COMMTIMEOUTS timeouts_{};
    bool timeouts_set_ = false;
};

}  // namespace

std::unique_ptr<serial_port> open_serial_port(const std::string& name, upload::problem& problem) {
    // COM10 and up are reachable only through the device namespace.
    const std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size > 0 ? wide_size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), wide_size);
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            problem = {upload::error::no_such_port,
                       "there is no serial port " + name +
                           ": is the board plugged in? Device Manager lists it under Ports "
                           "(COM & LPT)"};
        } else if (e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION) {
            problem = {upload::error::no_permission,
                       name + " is in use by another program (a serial monitor?)"};
        } else {
            problem = {upload::error::port_failed,
                       "cannot open " + name + ": " + last_error_text(e)};
        }
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        problem = {upload::error::not_a_serial_port, name + " is not a serial port"};
        return nullptr;
    }
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(h, &dcb)) {
        const DWORD e = GetLastError();
        CloseHandle(h);
        problem = {upload::error::not_a_serial_port,
                   "cannot set " + name + " to 115200 baud: " + last_error_text(e)};
        return nullptr;
    }
    return std::make_unique<win32_serial_port>(h);
}

}  // namespace glyph8::cli
