// Serial ports on POSIX systems: termios, and the modem lines by ioctl.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "serial.hpp"

namespace glyph8::cli {

namespace {

// How long the reset lines stay down: the Uno's auto-reset needs an edge,
// and the bootloader starts once they come back.
constexpr auto reset_pulse = std::chrono::milliseconds(upload::reset_pulse_ms);

class posix_serial_port : public serial_port {
  public:
    explicit posix_serial_port(int fd) : fd_(fd) {}
    ~posix_serial_port() override { ::close(fd_); }
    posix_serial_port(const posix_serial_port&) = delete;
    posix_serial_port& operator=(const posix_serial_port&) = delete;

    bool pulse_reset(std::string& why) override {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIC, &lines) != 0) {
            // A pseudo-terminal has no modem lines.
            if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP) {
                return true;
            }
            why = std::strerror(errno);
            return false;
        }
        std::this_thread::sleep_for(reset_pulse);
        if (::ioctl(fd_, TIOCMBIS, &lines) != 0) {
            why = std::strerror(errno);
            return false;
        }
        // What the sketch sent before the reset is not the bootloader's.
        ::tcflush(fd_, TCIFLUSH);
        return true;
    }

    std::ptrdiff_t read(std::span<std::uint8_t> buffer, std::uint32_t timeout_ms,
                        std::string& why) override {
        pollfd p{fd_, POLLIN, 0};
        for (;;) {
            const int r = ::poll(&p, 1, static_cast<int>(timeout_ms));
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r < 0) {
                why = std::strerror(errno);
                return -1;
            }
            if (r == 0) {
                return 0;
            }
            if ((p.revents & POLLIN) == 0) {
                // Hung up with nothing to read: the board is gone. Said as
                // silence, so the client says what it was doing.
                std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
                return 0;
            }
            const auto n = ::read(fd_, buffer.data(), buffer.size());
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n < 0) {
                why = std::strerror(errno);
                return -1;
            }
            return n;
        }
    }

    bool write(std::span<const std::uint8_t> bytes, std::string& why) override {
        while (!bytes.empty()) {
            const auto n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            if (n <= 0) {
                why = n < 0 ? std::strerror(errno) : "nothing was written";
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
        return true;
    }

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<serial_port> open_serial_port(const std::string& name, upload::problem& problem) {
    // Non-blocking, so that a port waiting for carrier does not hang the open.
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENXIO || e == ENODEV) {
            problem = {upload::error::no_such_port,
                       "there is no serial port " + name +
                           ": is the board plugged in? An Uno shows up as /dev/ttyACM0 or "
                           "/dev/ttyUSB0"};
        } else if (e == EACCES || e == EPERM) {
            problem = {upload::error::no_permission,
                       "no permission to open " + name +
                           ": add yourself to the dialout group (sudo usermod -aG dialout "
                           "$USER), then log out and in again"};
        } else if (e == EBUSY) {
            problem = {upload::error::port_failed,
                       name + " is in use by another program (a serial monitor?)"};
        } else {
            problem = {upload::error::port_failed, "cannot open " + name + ": " + std::strerror(e)};
        }
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        const int e = errno;
        ::close(fd);
        problem = {upload::error::not_a_serial_port,
                   e == ENOTTY ? name + " is not a serial port"
                               : "cannot set up " + name + ": " + std::strerror(e)};
        return nullptr;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD | HUPCL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int e = errno;
        ::close(fd);
        problem = {upload::error::not_a_serial_port,
                   "cannot set " + name + " to 115200 baud: " + std::strerror(e)};
        return nullptr;
    }
    return std::make_unique<posix_serial_port>(fd);
}

}  // namespace glyph8::cli
