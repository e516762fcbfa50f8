// Pixel conversions between the 4-byte colour frames and the 1-byte images the vision works on.
#pragma once

#include <cstdint>

// Colour pixels are 4 bytes in the order R, G, B, A; rows follow each other without padding.

// Gray = 0.299 R + 0.587 G + 0.114 B, rounded.
void RGBA2Gray(const uint8_t* source, uint8_t* destination, int width, int height);
// Hue over the full byte: 0 red, 85 green, 170 blue, back to red at 256; 0 for gray pixels
// (no saturation), where hue is undefined.
void RGBA2Hue(const uint8_t* source, uint8_t* destination, int width, int height);
// R = G = B = gray, A = 255.
void Gray2RGBA(const uint8_t* source, uint8_t* destination, int width, int height);
