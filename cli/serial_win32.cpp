// Serial ports on Windows: COMn through CreateFile and the comm API.
#include <windows.h>

#include <thread>

#include "serial.hpp"

namespace glyph8::cli {

namespace {

constexpr DWORD reset_pulse_ms = 100;
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

class win32_serial_port : public serial_port {
  public:
    explicit win32_serial_port(HANDLE h) : h_(h) {}
    ~win32_serial_port() override { CloseHandle(h_); }
    win32_serial_port(const win32_serial_port&) = delete;
    win32_serial_port& operator=(const win32_serial_port&) = delete;

    bool pulse_reset(std::string&) override {
        // A port without modem lines refuses these; there is nothing to pulse.
        if (!EscapeCommFunction(h_, CLRDTR) || !EscapeCommFunction(h_, CLRRTS)) {
            return true;
        }
        Sleep(reset_pulse_ms);
        EscapeCommFunction(h_, SETDTR);
        EscapeCommFunction(h_, SETRTS);
        PurgeComm(h_, PURGE_RXCLEAR);
        return true;
    }

    std::ptrdiff_t read(std::span<std::uint8_t> buffer, std::uint32_t timeout_ms,
                        std::string& why) override {
        // Returns as soon as a byte is there, or after the timeout with none.
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = timeout_ms == 0 ? 1 : timeout_ms;
        t.WriteTotalTimeoutConstant = write_timeout_ms;
        if (!SetCommTimeouts(h_, &t)) {
            why = last_error_text(GetLastError());
            return -1;
        }
        DWORD n = 0;
        if (!ReadFile(h_, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            why = last_error_text(GetLastError());
            return -1;
        }
        return static_cast<std::ptrdiff_t>(n);
    }

    bool write(std::span<const std::uint8_t> bytes, std::string& why) override {
        // Wine answers "not ready" while its end of the line is full; a
        // port that stays so for a second is given up on.
        int waits = 0;
        while (!bytes.empty()) {
            DWORD n = 0;
            if (!WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) {
                const DWORD e = GetLastError();
                if (e == ERROR_NOT_READY && waits++ < 100) {
                    Sleep(10);
                    continue;
                }
                why = last_error_text(e);
                return false;
            }
            if (n == 0) {
                if (waits++ < 100) {
                    Sleep(10);
                    continue;
                }
                why = "nothing was written";
                return false;
            }
            bytes = bytes.subspan(n);
        }
        return true;
    }

  private:
    HANDLE h_;
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
        } else if (e == ERROR_ACCESS_DENIED) {
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
