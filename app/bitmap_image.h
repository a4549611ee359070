// A bitmap from the executable's resources, with its size, and how it is copied onto a window.
#pragma once

#include <windows.h>

#include <cstdint>

namespace scourvane
{

class BitmapImage
{
  public:
    // Loads bitmap `resourceId` from `instance`. A missing resource gives a null handle and 0 x 0.
    BitmapImage(HINSTANCE instance, int resourceId);
    // Releases the bitmap handle.
    ~BitmapImage();
    BitmapImage(const BitmapImage&) = delete;
    BitmapImage& operator=(const BitmapImage&) = delete;

    // Copies the whole picture unchanged into `target` with its top-left corner at (x, y).
    // A missing picture copies nothing.
    void draw(HDC target, int x, int y) const;

    HBITMAP handle = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

} // namespace scourvane
