#pragma once
// The Linux editor's window: a child of the host's window on a display
// connection of the editor's own (never the host's, whose threads and error
// handling are the host's business), the panel's pixels shown in it, and the
// window system's events in the editor's terms. Xlib stays inside this file
// pair. One thread at a time (the editor serialises its use).

#include <functional>
#include <memory>

#include "editor/AboutTexts.h"
#include "editor/controls/PixelImage.h"

namespace valvora {

struct WindowEvent {
    enum class Kind { expose, press, release, motion, captureLost, destroyed };
    Kind kind = Kind::expose;
    int x = 0;  // panel pixels; a drag may leave the window (negative, beyond)
    int y = 0;
    bool shift = false;
    bool ctrl = false;
    PixelRect area;  // expose
};

class X11Window {
public:
    // A window of width x height at the parent's top-left corner, shown; null
    // when there is no display or the parent is no window.
    static std::unique_ptr<X11Window> create(unsigned long parent, int width, int height);
    // Closes the connection: the server removes the window with it, so no
    // request can fail on a window the host already destroyed.
    ~X11Window();
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    unsigned long id() const noexcept;
    // False once the window went with its parent.
    bool alive() const noexcept { return alive_; }

    // Everything the server has for the window, in order.
    void drain(const std::function<void(const WindowEvent&)>& handle);
    // Copies an area of the panel's pixels onto the window.
    void show(const PixelImage& frame, const PixelRect& area);
    // Prints the about texts onto the panel picture with the display's fonts.
    void drawTexts(PixelImage& panel, const AboutTexts& texts);

    struct Connection;

private:
    explicit X11Window(std::unique_ptr<Connection> connection) noexcept;
    std::unique_ptr<Connection> c_;
    bool alive_ = true;
};

}  // namespace valvora
