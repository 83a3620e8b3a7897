#include "termiosrecorder.h"

#include <dlfcn.h>

#include <cstring>

QList<termios> &requestedTermios()
{
    static QList<termios> requested;
    return requested;
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
    if (attributes)
        requestedTermios() << *attributes;
    const int result = next(fd, optionalActions, attributes);
    if (afterTcsetattr())
        afterTcsetattr()();
    return result;
}
