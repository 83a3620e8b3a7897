#ifndef APPSETUP_H
#define APPSETUP_H

// What every start of the console does between making the QApplication and
// making its window: names the desktop entry, sets the application icon and
// registers the form fonts. The program, its benchmarks and its tools share
// it, so that they start the console alike.
void setUpConsoleApplication();

#endif // APPSETUP_H
