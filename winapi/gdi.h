// GDI objects and painting: fonts, brushes and images as the other areas
// and the presenters read them.
#pragma once

#include <string>
#include <vector>

#include "state.h"

namespace winapi {

const FontData *fontData(HFONT f);
int fontPixelSize(HFONT f);  // em size in pixels
int fontCellHeight(HFONT f); // the line height of text in the font
// Image of a bitmap or of a pattern brush; solid colour of a solid brush.
const Image *brushImage(HBRUSH b);
bool brushColor(HBRUSH b, COLORREF *color);
// Icon images, all sizes (RGBA).
const std::vector<Image> *iconImages(HICON i);
// Width of a text in a font, from Arial's advance widths.
int textWidth(const std::string &text, HFONT font);

} // namespace winapi
