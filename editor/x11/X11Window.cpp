#include "editor/x11/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace valvora {

namespace {

// Errors of the first requests on a new connection (a parent id that names
// no window, say) must not reach the process's handler, whose default ends
// the process. Errors of other connections go on to the handler that was
// installed before. Held only around a few requests and one round trip.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : hold_(mutex())
    {
        state().display = display;
        state().failed = false;
        state().previous = XSetErrorHandler(&ErrorTrap::handler);
    }
    ~ErrorTrap()
    {
        XSetErrorHandler(state().previous);
        state().display = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far.
    bool failed()
    {
        XSync(state().display, False);
        return state().failed;
    }

private:
    struct State {
        Display* display = nullptr;
        bool failed = false;
        XErrorHandler previous = nullptr;
    };
    static State& state()
    {
        static State s;
        return s;
    }
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static int handler(Display* display, XErrorEvent* error)
    {
        if (display == state().display) {
            state().failed = true;
            return 0;
        }
        return state().previous ? state().previous(display, error) : 0;
    }

    std::lock_guard<std::mutex> hold_;
};

// One colour channel of a true-colour visual.
struct Channel {
    unsigned long mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(unsigned long m = 0) : mask(m)
    {
        if (!m) return;
        while (!((m >> shift) & 1ul)) ++shift;
        for (unsigned long v = m >> shift; v & 1ul; v >>= 1) ++bits;
    }
    unsigned long encode(unsigned value) const noexcept
    {
        const unsigned long v =
            bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : value >> (8 - bits);
        return (v << shift) & mask;
    }
    unsigned decode(unsigned long pixel) const noexcept
    {
        const unsigned long v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<unsigned>(v >> (bits - 8));
        const unsigned long top = (1ul << bits) - 1;
        return top ? static_cast<unsigned>(v * 255 / top) : 0;
    }
};

constexpr const char* kLargeFonts[] = {
    "-*-helvetica-bold-r-normal--20-*-*-*-p-*-iso8859-1",
    "-*-*-bold-r-normal--20-*-*-*-p-*-iso8859-1",
    "-*-*-bold-r-*--20-*-*-*-*-*-iso8859-1",
    "-misc-fixed-bold-r-normal--18-*-*-*-*-*-iso8859-1",
    "fixed",
};
constexpr const char* kSmallFonts[] = {
    "-*-helvetica-bold-r-normal--12-*-*-*-p-*-iso8859-1",
    "-*-*-bold-r-normal--12-*-*-*-p-*-iso8859-1",
    "-*-*-bold-r-*--12-*-*-*-*-*-iso8859-1",
    "-misc-fixed-bold-r-normal--13-*-*-*-*-*-iso8859-1",
    "fixed",
};

}  // namespace

struct X11Window::Connection {
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    Channel red, green, blue;
    // Bits of the pixel that no colour uses (a 32-bit visual's alpha): set,
    // so compositing window managers show the panel opaque.
    unsigned long spare = 0;

    ~Connection()
    {
        if (display) XCloseDisplay(display);
    }

    unsigned long pixel(unsigned r, unsigned g, unsigned b) const noexcept
    {
        return red.encode(r) | green.encode(g) | blue.encode(b) | spare;
    }

    // An image of the window's format around pixels of ours.
    XImage* image(int width, int height, std::vector<char>& storage) const
    {
        XImage* out = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (!out) return nullptr;
        storage.assign(static_cast<std::size_t>(out->bytes_per_line) * static_cast<std::size_t>(height), 0);
        out->data = storage.data();
        return out;
    }

    static void release(XImage* image) noexcept
    {
        image->data = nullptr;  // ours, not Xlib's to free
        XDestroyImage(image);
    }

    bool plainLayout(const XImage* image) const noexcept
    {
        return image->bits_per_pixel == 32 && image->byte_order == LSBFirst && red.mask == 0xff0000ul &&
               green.mask == 0xff00ul && blue.mask == 0xfful;
    }

    void fill(XImage* image, const PixelImage& frame, const PixelRect& area) const noexcept
    {
        for (int row = 0; row < area.height; ++row) {
            const std::uint8_t* from = frame.at(area.x, area.y + row);
            if (plainLayout(image)) {
                // The panel's own byte order: blue, green, red, then the spare byte.
                auto* to = reinterpret_cast<std::uint8_t*>(image->data) +
                           static_cast<std::size_t>(row) * static_cast<std::size_t>(image->bytes_per_line);
                std::memcpy(to, from, static_cast<std::size_t>(area.width) * 4);
                for (int x = 0; x < area.width; ++x) to[x * 4 + 3] = 0xff;
                continue;
            }
            for (int x = 0; x < area.width; ++x, from += 4)
                XPutPixel(image, x, row, pixel(from[2], from[1], from[0]));
        }
    }
};

X11Window::X11Window(std::unique_ptr<Connection> connection) noexcept : c_(std::move(connection)) {}

X11Window::~X11Window() = default;

std::unique_ptr<X11Window> X11Window::create(unsigned long parent, int width, int height)
{
    if (!parent || width <= 0 || height <= 0) return nullptr;
    auto c = std::make_unique<Connection>();
    c->display = XOpenDisplay(nullptr);
    if (!c->display) return nullptr;
    Display* d = c->display;
    ErrorTrap trap(d);
    XWindowAttributes host{};
    if (!XGetWindowAttributes(d, parent, &host) || trap.failed() || !host.visual) return nullptr;
    if (host.visual->c_class != TrueColor && host.visual->c_class != DirectColor) return nullptr;
    c->visual = host.visual;
    c->depth = host.depth;
    c->red = Channel(host.visual->red_mask);
    c->green = Channel(host.visual->green_mask);
    c->blue = Channel(host.visual->blue_mask);
    const unsigned long used = host.visual->red_mask | host.visual->green_mask | host.visual->blue_mask;
    const unsigned long all = c->depth >= 32 ? 0xfffffffful : (1ul << c->depth) - 1;
    c->spare = all & ~used;

    XSetWindowAttributes attributes{};
    // No background: the panel paints every pixel itself, and a cleared
    // window would flash between the server's exposure and our copy.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = host.colormap;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask |
                            LeaveWindowMask | StructureNotifyMask;
    c->window = XCreateWindow(d, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                              host.depth, InputOutput, host.visual,
                              CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    if (trap.failed() || !c->window) return nullptr;
    XStoreName(d, c->window, "ValvoraQXWnd");
    c->gc = XCreateGC(d, c->window, 0, nullptr);
    XMapWindow(d, c->window);
    if (trap.failed() || !c->gc) return nullptr;
    return std::unique_ptr<X11Window>(new X11Window(std::move(c)));
}

unsigned long X11Window::id() const noexcept
{
    return c_->window;
}

void X11Window::drain(const std::function<void(const WindowEvent&)>& handle)
{
    Display* d = c_->display;
    // A round trip first: whatever the server had for us by now is then here,
    // the host's destruction of our parent included.
    XSync(d, False);
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        WindowEvent out;
        switch (e.type) {
            case Expose:
                out.kind = WindowEvent::Kind::expose;
                out.area = {e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height};
                break;
            case ButtonPress:
            case ButtonRelease:
                if (e.xbutton.button != Button1) continue;  // wheels and other buttons do nothing
                out.kind = e.type == ButtonPress ? WindowEvent::Kind::press : WindowEvent::Kind::release;
                out.x = e.xbutton.x;
                out.y = e.xbutton.y;
                out.shift = (e.xbutton.state & ShiftMask) != 0;
                out.ctrl = (e.xbutton.state & ControlMask) != 0;
                break;
            case MotionNotify:
                out.kind = WindowEvent::Kind::motion;
                out.x = e.xmotion.x;
                out.y = e.xmotion.y;
                out.shift = (e.xmotion.state & ShiftMask) != 0;
                out.ctrl = (e.xmotion.state & ControlMask) != 0;
                break;
            case LeaveNotify:
                // Another client took the pointer while a button was held here.
                if (e.xcrossing.mode != NotifyGrab) continue;
                out.kind = WindowEvent::Kind::captureLost;
                break;
            case UnmapNotify:
                out.kind = WindowEvent::Kind::captureLost;
                break;
            case DestroyNotify:
                if (e.xdestroywindow.window != c_->window) continue;
                alive_ = false;
                out.kind = WindowEvent::Kind::destroyed;
                break;
            default:
                continue;
        }
        handle(out);
    }
}

void X11Window::show(const PixelImage& frame, const PixelRect& area)
{
    if (!alive_) return;
    const PixelRect part = area.intersected({0, 0, frame.width(), frame.height()});
    if (part.empty()) return;
    std::vector<char> storage;
    XImage* image = c_->image(part.width, part.height, storage);
    if (!image) return;
    c_->fill(image, frame, {part.x, part.y, part.width, part.height});
    XPutImage(c_->display, c_->window, c_->gc, image, 0, 0, part.x, part.y, static_cast<unsigned>(part.width),
              static_cast<unsigned>(part.height));
    Connection::release(image);
    XFlush(c_->display);
}

void X11Window::drawTexts(PixelImage& panel, const AboutTexts& texts)
{
    if (panel.empty() || !alive_) return;
    Display* d = c_->display;
    auto load = [d](const auto& names) -> XFontStruct* {
        for (const char* name : names)
            if (XFontStruct* font = XLoadQueryFont(d, name)) return font;
        return nullptr;
    };
    XFontStruct* large = load(kLargeFonts);
    XFontStruct* small = load(kSmallFonts);
    const auto width = static_cast<unsigned>(panel.width());
    const auto height = static_cast<unsigned>(panel.height());
    Pixmap canvas = XCreatePixmap(d, c_->window, width, height, static_cast<unsigned>(c_->depth));
    std::vector<char> storage;
    if (XImage* image = c_->image(panel.width(), panel.height(), storage)) {
        c_->fill(image, panel, {0, 0, panel.width(), panel.height()});
        XPutImage(d, canvas, c_->gc, image, 0, 0, 0, 0, width, height);
        Connection::release(image);
    }
    for (const AboutText& t : texts) {
        XFontStruct* font = t.pixels >= 20 ? large : small;
        if (!font) continue;
        XSetFont(d, c_->gc, font->fid);
        XSetForeground(d, c_->gc, c_->pixel(t.red, t.green, t.blue));
        // Like the Windows editor's text, clipped to its own box.
        XRectangle box{static_cast<short>(t.left), static_cast<short>(t.top),
                       static_cast<unsigned short>(t.right - t.left),
                       static_cast<unsigned short>(t.bottom - t.top)};
        XSetClipRectangles(d, c_->gc, 0, 0, &box, 1, Unsorted);
        auto measure = [font](const std::string& s) {
            return XTextWidth(font, s.c_str(), static_cast<int>(s.size()));
        };
        int baseline = t.top + font->ascent;
        for (const std::string& line : AboutTexts::lines(t, measure)) {
            const int x = t.left + (t.right - t.left - measure(line)) / 2;
            XDrawString(d, canvas, c_->gc, x, baseline, line.c_str(), static_cast<int>(line.size()));
            baseline += font->ascent + font->descent;
        }
    }
    XSetClipMask(d, c_->gc, None);
    if (XImage* drawn = XGetImage(d, canvas, 0, 0, width, height, AllPlanes, ZPixmap)) {
        for (int y = 0; y < panel.height(); ++y) {
            std::uint8_t* to = panel.at(0, y);
            for (int x = 0; x < panel.width(); ++x, to += 4) {
                const unsigned long p = XGetPixel(drawn, x, y);
                to[0] = static_cast<std::uint8_t>(c_->blue.decode(p));
                to[1] = static_cast<std::uint8_t>(c_->green.decode(p));
                to[2] = static_cast<std::uint8_t>(c_->red.decode(p));
                to[3] = 255;
            }
        }
        XDestroyImage(drawn);
    }
    XFreePixmap(d, canvas);
    if (large) XFreeFont(d, large);
    if (small) XFreeFont(d, small);
}

}  // namespace valvora
