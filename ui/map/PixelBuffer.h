// PixelBuffer.h --- an offscreen picture of COLORREF pixels that the drawing thread paints the map into.
//
// Texts are kept as annotations beside the pixels: the window draws them with
// its own fonts when it shows the buffer, the PNG writer with the built-in font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/map/MapPalette.h"

namespace tarvo::ui {

// A text written into the picture at (x, y), its top-left corner.
struct TextAnnotation {
    int x = 0;
    int y = 0;
    int points = 7;
    std::string text;
    COLORREF foreground = 0;
    COLORREF background = kLightGrey;
};

class PixelBuffer {
public:
    PixelBuffer() = default;
    // A buffer of width x height pixels, all light grey.
    PixelBuffer(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_width <= 0 || m_height <= 0; }

    // Fills the rectangle clipped to the buffer; negative sizes fill nothing.
    void FillRect(int x, int y, int width, int height, COLORREF colour);
    // Fills everything and forgets the texts.
    void Fill(COLORREF colour);
    // Adds a text annotation and rasterises it with the built-in font.
    void DrawText(const TextAnnotation& text);

    // The pixel at (x, y); light grey outside the buffer.
    COLORREF Pixel(int x, int y) const;
    const std::vector<COLORREF>& Pixels() const { return m_pixels; }
    const std::vector<TextAnnotation>& Texts() const { return m_texts; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<COLORREF> m_pixels;
    std::vector<TextAnnotation> m_texts;
};

}  // namespace tarvo::ui
