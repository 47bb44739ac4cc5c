#include "editor/controls/LoadBitmapFromStream.h"

#include <objidl.h>
#include <wincodec.h>

#include <cstring>

#include "platform/Diagnostics.h"

namespace valvora {

namespace {

// Releases a COM interface when it goes out of scope.
template <class T>
struct ComRef {
    T* p = nullptr;
    ~ComRef()
    {
        if (p) p->Release();
    }
};

// Resource bytes in a movable block, as a stream that frees the block.
IStream* streamOnResource(HINSTANCE instance, int id) noexcept
{
    HRSRC info = FindResourceA(instance, MAKEINTRESOURCEA(id), "PNG");
    if (!info) return nullptr;
    const DWORD size = SizeofResource(instance, info);
    HGLOBAL loaded = LoadResource(instance, info);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) return nullptr;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return nullptr;
    }
    return stream;
}

}  // namespace

BITMAPINFO topDownInfo(int width, int height) noexcept
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: first row at the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

HBITMAP createPixelBitmap(int width, int height, void** bits) noexcept
{
    const BITMAPINFO info = topDownInfo(width, height);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bits) *bits = pixels;
    return bitmap;
}

bool bitmapSize(HBITMAP bitmap, int& width, int& height) noexcept
{
    BITMAP info{};
    if (!bitmap || GetObjectA(bitmap, sizeof(info), &info) != sizeof(info)) return false;
    width = info.bmWidth;
    height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    return true;
}

HBITMAP LoadBitmapFromStream(HINSTANCE instance, int id) noexcept
{
    ComRef<IStream> stream{streamOnResource(instance, id)};
    if (!stream.p) return nullptr;

    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(CoCreateInstance(CLSID_WICPngDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWICBitmapDecoder,
                                reinterpret_cast<void**>(&decoder.p))) ||
        !decoder.p) {
        platform::trace("LoadBitmapFromStream", "no PNG decoder");
        return nullptr;
    }
    UINT frames = 0;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICBitmapSource> converted;
    if (SUCCEEDED(decoder.p->Initialize(stream.p, WICDecodeMetadataCacheOnLoad)) &&
        SUCCEEDED(decoder.p->GetFrameCount(&frames)) && frames == 1 &&
        SUCCEEDED(decoder.p->GetFrame(0, &frame.p)))
        WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.p, &converted.p);
    if (!converted.p) {
        platform::trace("PNGLOAD", "undecodable image");
        return nullptr;
    }

    UINT width = 0, height = 0;
    if (FAILED(converted.p->GetSize(&width, &height)) || width == 0 || height == 0) return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = createPixelBitmap(static_cast<int>(width), static_cast<int>(height), &bits);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    const UINT stride = 4 * width;
    if (FAILED(converted.p->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

}  // namespace valvora
