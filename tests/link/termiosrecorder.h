#ifndef TERMIOSRECORDER_H
#define TERMIOSRECORDER_H

#include <QList>

#include <functional>

#include <termios.h>

// Every tcsetattr() the process makes, in order. A pseudo-terminal's driver
// forces 8 data bits and no parity whatever it is asked for, so the settings
// a program asked for can only be seen here.
QList<termios> &requestedTermios();

// Called after each tcsetattr() has taken effect, while set.
std::function<void()> &afterTcsetattr();

#endif // TERMIOSRECORDER_H
