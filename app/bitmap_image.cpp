// Loads a bitmap from the resources with its size, and copies it onto a window.
#include "app/bitmap_image.h"

namespace scourvane
{

BitmapImage::BitmapImage(HINSTANCE instance, int resourceId)
    : handle(LoadBitmapA(instance, MAKEINTRESOURCEA(resourceId)))
{
    // sizeof(BITMAP), not the 24 bytes of a 32-bit build: the record holds a pointer.
    BITMAP info{};
    if (handle != nullptr && GetObjectA(handle, sizeof(info), &info) != 0)
    {
        width = info.bmWidth;
        height = info.bmHeight;
    }
}

BitmapImage::~BitmapImage()
{
    if (handle != nullptr) DeleteObject(handle);
}

void BitmapImage::draw(HDC target, int x, int y) const
{
    if (handle == nullptr) return;
    HDC memory = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(memory, handle);
    BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
    // Put the DC's own bitmap back so ours is not left selected into a deleted context.
    SelectObject(memory, previous);
    DeleteDC(memory);
}

} // namespace scourvane
