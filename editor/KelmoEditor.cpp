#include "editor/KelmoEditor.h"

#include <objbase.h>

#include <mutex>

#include "editor/AboutTexts.h"
#include "editor/ButtonCommand.h"
#include "editor/EditorSync.h"
#include "editor/controls/LoadBitmapFromStream.h"
#include "platform/Diagnostics.h"
#include "platform/Module.h"
#include "plugin/AudioEffect.h"

namespace valvora {

namespace {

constexpr const char* kClassName = "KelmoValvoraQX70WndClass";
constexpr const char* kWindowTitle = "ValvoraQXWnd";

// Module-wide: the main window class lives while any editor does. Hosts may
// create plug-in instances on several threads at once.
std::mutex editorCountLock;
int liveEditors = 0;

// COM for the decoder while the controls are built: a host may open the
// editor on another thread than the one that created it. Balanced only when
// the initialisation succeeded (a thread in another apartment keeps its own).
struct ComScope {
    ComScope() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComScope()
    {
        if (initialised) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    const bool initialised;
};

HINSTANCE moduleInstance()
{
    return static_cast<HINSTANCE>(platform::moduleHandle());
}

}  // namespace

KelmoEditor::KelmoEditor(AudioEffect* effect)
    : AEffEditor(effect), updateCheck(std::make_unique<UpdateChecker>())
{
    std::lock_guard<std::mutex> count(editorCountLock);
    if (liveEditors++ == 0) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = moduleInstance();
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kClassName;
        RegisterClassA(&wc);
    }
    // The decoder needs COM. A host thread already in a single-threaded
    // apartment refuses the change of model; then it must not be uninitialised
    // by us later either, or the host's own COM would be torn down.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    comInitialised = SUCCEEDED(com);

    aboutPanel = LoadBitmapFromStream(moduleInstance(), EditorLayout::kAboutPanelResource);
    mainPanel = LoadBitmapFromStream(moduleInstance(), EditorLayout::kMainPanelResource);
    drawAboutTexts();
    int width = 0, height = 0;
    if (bitmapSize(mainPanel, width, height)) {
        rect.right = static_cast<VstInt16>(width);
        rect.bottom = static_cast<VstInt16>(height);
    }
    if (effect) effect->attachEditor(this);
}

KelmoEditor::~KelmoEditor()
{
    if (effect) effect->attachEditor(nullptr);
    close();
    retireUpdateCheck();
    if (mainPanel) DeleteObject(mainPanel);
    if (aboutPanel) DeleteObject(aboutPanel);
    {
        std::lock_guard<std::mutex> count(editorCountLock);
        if (--liveEditors == 0) UnregisterClassA(kClassName, moduleInstance());
    }
    if (comInitialised) CoUninitialize();
}

void KelmoEditor::retireUpdateCheck() noexcept
{
    if (!updateCheck || !updateCheck->checking()) {
        updateCheck.reset();
        return;
    }
    // The check's message box runs on the check's thread but is owned by the
    // host's window on this one, and it cannot close without this thread
    // answering the messages it sends (enabling and activating the owner).
    // So the check is stopped from a helper thread while this one answers
    // sent messages only; the checker bounds the wait itself.
    UpdateChecker* checker = updateCheck.release();
    auto retire = [](LPVOID raw) -> DWORD {
        delete static_cast<UpdateChecker*>(raw);
        return 0;
    };
    HANDLE helper = CreateThread(nullptr, 0, retire, checker, 0, nullptr);
    if (!helper) {
        delete checker;
        return;
    }
    while (MsgWaitForMultipleObjects(1, &helper, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(helper);
}

void KelmoEditor::drawAboutTexts()
{
    if (!aboutPanel) return;
    const AboutTexts texts("Win64");
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, aboutPanel);
    SetBkMode(dc, TRANSPARENT);
    HFONT large = CreateFontA(-20, 0, 0, 0, 900, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FF_SWISS, nullptr);
    HFONT small = CreateFontA(-12, 0, 0, 0, 900, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FF_SWISS, nullptr);
    HGDIOBJ oldFont = SelectObject(dc, large);
    for (const AboutText& t : texts) {
        SelectObject(dc, t.pixels == 20 ? large : small);
        SetTextColor(dc, RGB(t.red, t.green, t.blue));
        RECT box{t.left, t.top, t.right, t.bottom};
        const UINT flags = DT_NOPREFIX | DT_CENTER | (t.wordBreak ? DT_WORDBREAK : 0);
        DrawTextExA(dc, const_cast<char*>(t.text), -1, &box, flags, nullptr);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(large);
    DeleteObject(small);
    DeleteDC(dc);
}

bool KelmoEditor::getRect(ERect** out)
{
    if (!out) return false;
    *out = &rect;
    return true;
}

bool KelmoEditor::open(void* ptr)
{
    if (!ptr) return false;
    // A second open without a close re-creates everything; so does an open
    // after the host destroyed our windows, whose pictures are still ours.
    close();
    AEffEditor::open(ptr);
    aboutMode = 0;
    // Every open starts in the normal view, so the about button starts dark
    // even if the editor was closed from the about view.
    button(EditorLayout::kAboutEntry).setState(0);
    HWND parentWindow = static_cast<HWND>(ptr);
    HINSTANCE instance = moduleInstance();
    // Clipping the children keeps the panel copy from painting over controls
    // that have nothing new to paint.
    window = CreateWindowExA(0, kClassName, kWindowTitle, WS_CHILD | WS_CLIPCHILDREN, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, parentWindow, nullptr, instance,
                             nullptr);
    if (!window) {
        platform::trace("KelmoEditor::open", "no window");
        close();
        return false;
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    const ComScope com;
    for (int entry : EditorLayout::knobCreationOrder()) {
        const ControlPlacement& p = EditorLayout::entry(entry);
        knobs[static_cast<std::size_t>(entry)].create(instance, window, mainPanel, p.x, p.y, p.resource,
                                                      EditorLayout::kKnobCentreX, EditorLayout::kKnobCentreY,
                                                      EditorLayout::kKnobScaleResource);
    }
    for (int entry : EditorLayout::buttonCreationOrder()) {
        const ControlPlacement& p = EditorLayout::entry(entry);
        button(entry).create(instance, window, mainPanel, p.x, p.y, p.resource, p.controlId,
                             EditorLayout::kButtonFrames);
    }
    timer = SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
    ShowWindow(window, SW_SHOW);
    showControls(false);
    UpdateWindow(window);
    synchronise();
    InvalidateRect(window, nullptr, FALSE);
    return true;
}

void KelmoEditor::close()
{
    if (window && timer) KillTimer(window, kTimerId);
    timer = 0;
    for (CKnob& k : knobs) k.destroyWindow();
    for (CLedButton& b : buttons) b.destroyWindow();
    if (window) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    window = nullptr;
    AEffEditor::close();
}

HWND KelmoEditor::controlWindow(int entry) const
{
    return entry < EditorLayout::kKnobCount
               ? knobs[static_cast<std::size_t>(entry)].window()
               : buttons[static_cast<std::size_t>(entry - EditorLayout::kKnobCount)].window();
}

void KelmoEditor::showControls(bool aboutView)
{
    for (int entry = 0; entry < EditorLayout::kControlCount; ++entry) {
        HWND control = controlWindow(entry);
        if (control) ShowWindow(control, aboutView ? SW_HIDE : SW_SHOW);
    }
    if (!aboutView) return;
    for (int entry = 0; entry < EditorLayout::kControlCount; ++entry) {
        HWND control = controlWindow(entry);
        if (control && EditorLayout::shownInAboutView(entry)) ShowWindow(control, SW_SHOW);
    }
}

void KelmoEditor::synchronise()
{
    if (effect) EditorSync::run(*effect, *this);
}

void KelmoEditor::onButton(int controlId, int state)
{
    const ButtonCommand command = ButtonCommand::forClick(controlId, state);
    switch (command.kind) {
        case ButtonCommand::Kind::setParameter:
            if (effect) effect->setParameterAutomated(command.parameter, command.value);
            break;
        case ButtonCommand::Kind::startUpdateCheck:
            updateCheck->startCheck(window);
            button(EditorLayout::kUpdateEntry).setState(0);
            break;
        case ButtonCommand::Kind::showAbout:
            showControls(true);
            aboutMode = 1;
            InvalidateRect(window, nullptr, FALSE);
            break;
        case ButtonCommand::Kind::hideAbout:
            aboutMode = 0;
            showControls(false);
            InvalidateRect(window, nullptr, FALSE);
            break;
        case ButtonCommand::Kind::none:
            break;
    }
}

void KelmoEditor::paint(HDC dc)
{
    HBITMAP panel = aboutMode ? aboutPanel : mainPanel;
    if (!panel) return;
    RECT clip{};
    GetClipBox(dc, &clip);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, panel);
    BitBlt(dc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, source, clip.left,
           clip.top, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

LRESULT KelmoEditor::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_PAINT:
        case WM_PRINTCLIENT:
            paintMessage(hwnd, wParam, [this](HDC dc) { paint(dc); });
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_TIMER:
            if (wParam == kTimerId && !aboutMode) synchronise();
            return 0;
        case WM_NCDESTROY:
            // The host destroyed its window with ours inside it before closing
            // the editor: forget the handle (the timer went with the window).
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            window = nullptr;
            timer = 0;
            systemWindow = nullptr;
            return DefWindowProcA(hwnd, message, wParam, lParam);
        case CLedButton::kClickMessage:
            onButton(static_cast<int>(wParam), static_cast<int>(lParam));
            return 1;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK KelmoEditor::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* editor = reinterpret_cast<KelmoEditor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!editor) return DefWindowProcA(hwnd, message, wParam, lParam);
    return editor->handle(hwnd, message, wParam, lParam);
}

}  // namespace valvora
