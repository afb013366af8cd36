// PixelBuffer.cpp --- filling and reading the offscreen picture.
#include "ui/map/PixelBuffer.h"

#include <algorithm>

#include "ui/map/GlyphFont.h"

namespace tarvo::ui {

PixelBuffer::PixelBuffer(int width, int height)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)) {
    m_pixels.assign(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), kLightGrey);
}

void PixelBuffer::FillRect(int x, int y, int width, int height, COLORREF colour) {
    if (width <= 0 || height <= 0) return;
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    // 64-bit ends: a block far below the picture must not wrap around.
    const int x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + width, m_width));
    const int y1 = static_cast<int>(std::min<int64_t>(int64_t{y} + height, m_height));
    for (int row = y0; row < y1; ++row) {
        auto* line = m_pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(m_width);
        std::fill(line + x0, line + std::max(x0, x1), colour);
    }
}

void PixelBuffer::Fill(COLORREF colour) {
    std::fill(m_pixels.begin(), m_pixels.end(), colour);
    m_texts.clear();
}

void PixelBuffer::DrawText(const TextAnnotation& text) {
    m_texts.push_back(text);
    RasteriseText(*this, text);
}

COLORREF PixelBuffer::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kLightGrey;
    return m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
}

}  // namespace tarvo::ui
