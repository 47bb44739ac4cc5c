#include "tests/editor/x11/X11TestHost.h"

#include <X11/Xutil.h>

#include <atomic>
#include <unistd.h>

#include <cstdio>

namespace valvora::test {

namespace {
std::atomic<int> errors{0};

int recordError(Display* display, XErrorEvent* error)
{
    char text[128] = {};
    XGetErrorText(display, error->error_code, text, sizeof(text));
    std::fprintf(stderr, "X error: %s (request %d)\n", text, error->request_code);
    errors.fetch_add(1);
    return 0;
}

struct InstallHandler {
    InstallHandler() { XSetErrorHandler(recordError); }
} installHandler;
}  // namespace

int X11TestHost::takeErrorCount()
{
    return errors.exchange(0);
}

X11TestHost::X11TestHost()
{
    // The shared server may be busy accepting another suite's connections on
    // a loaded machine: a refused connection is tried again for a while.
    for (int attempt = 0; attempt < 50 && !display_; ++attempt) {
        display_ = XOpenDisplay(nullptr);
        if (!display_) {
            std::fprintf(stderr, "XOpenDisplay(%s) failed, attempt %d\n", XDisplayName(nullptr), attempt + 1);
            usleep(100000);
        }
    }
}

X11TestHost::~X11TestHost()
{
    if (display_) XCloseDisplay(display_);
}

Window X11TestHost::createTopLevel(int width, int height)
{
    if (!display_) return 0;
    const int screen = DefaultScreen(display_);
    Window w = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, BlackPixel(display_, screen),
                                   WhitePixel(display_, screen));
    XMapWindow(display_, w);
    sync();
    return w;
}

void X11TestHost::destroy(Window window)
{
    XDestroyWindow(display_, window);
    sync();
}

std::vector<Window> X11TestHost::children(Window parent) const
{
    Window root = 0, up = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display_, parent, &root, &up, &list, &count)) out.assign(list, list + count);
    if (list) XFree(list);
    return out;
}

void X11TestHost::sendButton(Window w, int type, int x, int y, unsigned modifiers)
{
    XEvent e{};
    e.xbutton.type = type;
    e.xbutton.display = display_;
    e.xbutton.window = w;
    e.xbutton.root = DefaultRootWindow(display_);
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.x_root = x;
    e.xbutton.y_root = y;
    e.xbutton.state = modifiers | (type == ButtonRelease ? Button1Mask : 0);
    e.xbutton.button = Button1;
    e.xbutton.same_screen = True;
    XSendEvent(display_, w, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    sync();
}

void X11TestHost::press(Window w, int x, int y, unsigned modifiers)
{
    sendButton(w, ButtonPress, x, y, modifiers);
}

void X11TestHost::release(Window w, int x, int y, unsigned modifiers)
{
    sendButton(w, ButtonRelease, x, y, modifiers);
}

void X11TestHost::move(Window w, int x, int y, unsigned modifiers)
{
    XEvent e{};
    e.xmotion.type = MotionNotify;
    e.xmotion.display = display_;
    e.xmotion.window = w;
    e.xmotion.root = DefaultRootWindow(display_);
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.state = modifiers | Button1Mask;
    e.xmotion.same_screen = True;
    XSendEvent(display_, w, False, Button1MotionMask | PointerMotionMask, &e);
    sync();
}

void X11TestHost::takePointer(Window w)
{
    XEvent e{};
    e.xcrossing.type = LeaveNotify;
    e.xcrossing.display = display_;
    e.xcrossing.window = w;
    e.xcrossing.root = DefaultRootWindow(display_);
    e.xcrossing.mode = NotifyGrab;
    e.xcrossing.detail = NotifyAncestor;
    e.xcrossing.same_screen = True;
    XSendEvent(display_, w, False, LeaveWindowMask, &e);
    sync();
}

Capture X11TestHost::capture(Window w)
{
    Capture out;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, w, &a)) return out;
    XImage* image = XGetImage(display_, w, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!image) return out;
    out.width = a.width;
    out.height = a.height;
    out.rgb.resize(static_cast<std::size_t>(a.width) * a.height * 3);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            std::uint8_t* to = &out.rgb[(static_cast<std::size_t>(y) * a.width + x) * 3];
            to[0] = static_cast<std::uint8_t>((p & a.visual->red_mask) >> 16);
            to[1] = static_cast<std::uint8_t>((p & a.visual->green_mask) >> 8);
            to[2] = static_cast<std::uint8_t>(p & a.visual->blue_mask);
        }
    XDestroyImage(image);
    return out;
}

void X11TestHost::sync()
{
    XSync(display_, False);
}

}  // namespace valvora::test
