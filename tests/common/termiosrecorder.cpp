#include "termiosrecorder.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>

QHash<dev_t, termios> &askedFraming()
{
    static QHash<dev_t, termios> asked;
    return asked;
}

std::function<void()> &afterTcsetattr()
{
    static std::function<void()> hook;
    return hook;
}

// Takes the place of the C library's tcsetattr() for the whole process (Qt
// Serial Port included), records the request, passes it on and calls the hook.
extern "C" int tcsetattr(int fd, int optionalActions, const termios *attributes) noexcept
{
    using Function = int (*)(int, int, const termios *);
    static const Function next = [] {
        Function function = nullptr;
        void *symbol = ::dlsym(RTLD_NEXT, "tcsetattr");
        std::memcpy(&function, &symbol, sizeof function);
        return function;
    }();
    const tcflag_t framing = CSIZE | PARENB | PARODD | CSTOPB;
    termios now;
    struct stat device;
    if (attributes && ::tcgetattr(fd, &now) == 0 && ::fstat(fd, &device) == 0
        && (now.c_cflag & framing) != (attributes->c_cflag & framing))
        askedFraming().insert(device.st_rdev, *attributes);
    const int result = next(fd, optionalActions, attributes);
    if (afterTcsetattr())
        afterTcsetattr()();
    return result;
}

std::function<void(const char *)> &beforeLink()
{
    static std::function<void(const char *)> hook;
    return hook;
}

extern "C" int link(const char *from, const char *to) noexcept
{
    using Function = int (*)(const char *, const char *);
    static const Function next = [] {
        Function function = nullptr;
        void *symbol = ::dlsym(RTLD_NEXT, "link");
        std::memcpy(&function, &symbol, sizeof function);
        return function;
    }();
    if (beforeLink())
        beforeLink()(to);
    return next(from, to);
}
