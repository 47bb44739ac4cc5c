#pragma once
// The DAW's side of an X11 editor in tests: a display connection of its own,
// a visible top-level window to embed the editor in, pointer events sent to
// the editor's window, and captures of what the window shows. Any X error on
// any connection of the process fails the running test.

#include <X11/Xlib.h>

#include <vector>

#include "tests/editor/RgbImage.h"

namespace valvora::test {

using Capture = RgbImage;

class X11TestHost {
public:
    X11TestHost();
    ~X11TestHost();
    X11TestHost(const X11TestHost&) = delete;
    X11TestHost& operator=(const X11TestHost&) = delete;

    Display* display() const noexcept { return display_; }
    // A mapped top-level window (0 when there is no display).
    Window createTopLevel(int width = 760, int height = 240);
    void destroy(Window window);

    std::vector<Window> children(Window parent) const;
    // The editor inside parent (its only child), or 0.
    Window editorIn(Window parent) const
    {
        auto c = children(parent);
        return c.size() == 1 ? c[0] : 0;
    }

    // Pointer events as the server would deliver them to the editor's window.
    void press(Window w, int x, int y, unsigned modifiers = 0);
    void move(Window w, int x, int y, unsigned modifiers = 0);
    void release(Window w, int x, int y, unsigned modifiers = 0);
    void click(Window w, int x, int y)
    {
        press(w, x, y);
        release(w, x, y);
    }
    // Another client grabbing the pointer in the middle of a drag.
    void takePointer(Window w);

    Capture capture(Window w);
    void sync();

    // X errors seen on any connection since the last call.
    static int takeErrorCount();

private:
    void sendButton(Window w, int type, int x, int y, unsigned modifiers);
    Display* display_ = nullptr;
};

}  // namespace valvora::test
