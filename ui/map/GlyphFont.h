// GlyphFont.h --- a small built-in bitmap font for the texts of pictures made without a display.
#pragma once

#include <string>

namespace tarvo::ui {

class PixelBuffer;
struct TextAnnotation;

// Height in pixels of a line of the built-in font.
constexpr int kGlyphHeight = 12;

// Width in pixels of text in the built-in font; characters outside 32..126 count as '?'.
int GlyphTextWidth(const std::string& text);

// Paints the annotation's background box and its text into the buffer, clipped.
void RasteriseText(PixelBuffer& buffer, const TextAnnotation& text);

}  // namespace tarvo::ui
