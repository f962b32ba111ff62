#include "cameralock/V4l2Controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PosixFiles.h"

namespace {

int Ioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

bool HoldsAValue(const v4l2_queryctrl& query) {
    return query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN ||
           query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU;
}

class V4l2Controls final : public CameraControls {
public:
    explicit V4l2Controls(int fd) : m_fd(fd) {}
    V4l2Controls(const V4l2Controls&) = delete;
    V4l2Controls& operator=(const V4l2Controls&) = delete;

    std::vector<CameraControl> List() override {
        std::vector<CameraControl> controls;
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (Ioctl(m_fd.Get(), VIDIOC_QUERYCTRL, &query) == 0) {
            const auto value = HoldsAValue(query) && !(query.flags & V4L2_CTRL_FLAG_DISABLED)
                                   ? Get(query.id)
                                   : std::nullopt;
            if (value) {
                constexpr auto kUnwritable = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED;
                controls.push_back({query.id, *value, query.minimum, query.maximum, query.step,
                                    (query.flags & kUnwritable) != 0});
            }
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        return controls;
    }

    bool Set(std::uint32_t id, std::int32_t value) override {
        v4l2_control control{id, value};
        return Ioctl(m_fd.Get(), VIDIOC_S_CTRL, &control) == 0;
    }

    std::optional<std::int32_t> Get(std::uint32_t id) override {
        v4l2_control control{id, 0};
        if (Ioctl(m_fd.Get(), VIDIOC_G_CTRL, &control) != 0) {
            return std::nullopt;
        }
        return control.value;
    }

private:
    UniqueFd m_fd;
};

// The first line of a small text file, such as a sysfs attribute; empty when it cannot be read.
std::string FirstLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char text[256];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    if (n <= 0) {
        return {};
    }
    const std::string line(text, static_cast<std::size_t>(n));
    return line.substr(0, line.find('\n'));
}

// The manufacturer string of the USB device that the character device `rdev` belongs to: its
// sysfs "device" is the USB interface, whose parent is the device.
std::string UsbManufacturer(dev_t rdev) {
    return FirstLine("/sys/dev/char/" + std::to_string(major(rdev)) + ":" +
                     std::to_string(minor(rdev)) + "/device/../manufacturer");
}

}  // namespace

std::string ModelFromCardName(const std::string& card) {
    const std::size_t colon = card.find(": ");
    if (colon != std::string::npos &&
        card.compare(colon + 2, std::string::npos, card, 0, colon) == 0) {
        return card.substr(0, colon);
    }
    return card;
}

CameraIdentity QueryV4l2Identity(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    CameraIdentity identity;
    v4l2_capability capability{};
    struct stat status {};
    if (Ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
        const auto* card = reinterpret_cast<const char*>(capability.card);
        identity.model =
            ModelFromCardName(std::string(card, strnlen(card, sizeof capability.card)));
        if (::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode)) {
            identity.make = UsbManufacturer(status.st_rdev);
        }
    }
    ::close(fd);
    return identity;
}

std::unique_ptr<CameraControls> OpenV4l2Controls(const std::string& path) {
    // Non-blocking, so that no call here waits for a frame; controls never need one.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<V4l2Controls>(fd);
}
