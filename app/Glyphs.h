#pragma once

#include <QPixmap>

// The speed buttons' pictures: black drawings with a dark-grey shadow on a
// transparent background, 23 x 23 pixels (22 x 22 for the process button).
namespace glyphs {
QPixmap SetStart();      // an opening bracket and an arrow pointing right, above a bar
QPixmap SetStop();       // an arrow pointing left and a closing bracket, above a bar
QPixmap Prev();          // two triangles pointing left
QPixmap Stop();          // a square
QPixmap Play();          // one triangle pointing right
QPixmap Next();          // two triangles pointing right
QPixmap OpenFile();      // an open folder
QPixmap StartProcess();  // three stacked file boxes beside an arrow down into a lined box
}  // namespace glyphs
