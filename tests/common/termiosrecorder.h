#ifndef TERMIOSRECORDER_H
#define TERMIOSRECORDER_H

#include <QHash>

#include <functional>

#include <sys/types.h>
#include <termios.h>

// By device number, the last tcsetattr() that changed the framing the
// driver had (data bits, parity, stop bits): a pseudo-terminal keeps 8 data
// bits and no parity whatever it is asked for, so what a program asked for
// can only be seen here.
QHash<dev_t, termios> &askedFraming();

// Called after each tcsetattr() has taken effect, while set.
std::function<void()> &afterTcsetattr();

// Called with the new name before each link() in the process, while set: a
// test's other program steps in just before a lock file takes its name.
std::function<void(const char *)> &beforeLink();

#endif // TERMIOSRECORDER_H
