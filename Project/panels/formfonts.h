#ifndef FORMFONTS_H
#define FORMFONTS_H

#include <QList>

class QLabel;
class QWidget;

// The forms were laid out for the Windows dialog font, Tahoma 8.25 points.
// The console keeps the desktop's font instead; the forms' rectangles make
// room for it where they can, and these two functions do the rest.

// The title and logo labels ask for Tahoma. Windows has it. On Linux,
// Debian's fonts-wine ships a Tahoma of the same metrics in
// /usr/share/wine/fonts, where fontconfig does not look; loadFormFonts()
// registers its regular and bold files with the application, so that those
// labels get the face they ask for rather than a search for a stand-in on
// every start. Call it once, after the QApplication is made and before the
// window. It returns whether both files loaded; where they are missing the
// labels fall back as before.
bool loadFormFonts();

// For a row of texts whose container has no room to grow: while the row's
// layout asks for more width than the row has, the font of the given
// widgets, and of no other, goes down a quarter point at a time (a pixel
// for a font sized in pixels), to no less than 6 points (8 pixels). Their
// face stays the desktop's. Called again, it starts over from the inherited
// font.
void shrinkToFit(QWidget *row, const QList<QWidget *> &texts);

// Tahoma has no italic face: the italic of the title and logo is the upright
// face slanted. Windows slants it past the advance of the last letter, which
// is all the room a label makes for its text, and a label clips its rich text
// to its contents: the last letter lost its right edge. This widens the label
// by the ink that reaches past, into the free room its layout has beside it,
// and never below the form's own minimum width. Call it again after each new
// text.
void makeRoomForSlant(QLabel *label);

#endif // FORMFONTS_H
