#pragma once
// The Linux module's images: the same PNG files as the Windows resources,
// decoded when the module was built into premultiplied BGRA pixels and
// compiled in (type "BGRA": width and height as little-endian 32-bit numbers,
// then the pixels), so that no image library is needed where it runs.
// Window thread.

#include "editor/controls/PixelImage.h"

namespace valvora {

// Makes the compiled-in images findable; called by the editor's constructor.
void registerEditorImages() noexcept;

// The image of resource `id`, or an empty image (and a trace) when it is
// missing or malformed.
PixelImage LoadBitmapFromStream(int id);

}  // namespace valvora
