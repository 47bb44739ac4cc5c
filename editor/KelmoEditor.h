#pragma once
// The plug-in's editor: a 689 x 140 bitmap panel with seven knobs and ten lit
// buttons, polled every 33 ms so that automation and program changes show,
// and an about view with the credits. It reaches the plug-in only through
// getParameter and setParameterAutomated. Host window thread only.

#include <windows.h>

#include <array>
#include <memory>

#include "editor/EditorLayout.h"
#include "editor/EditorSyncTarget.h"
#include "editor/controls/CKnob.h"
#include "editor/controls/CLedButton.h"
#include "editor/update/UpdateChecker.h"
#include "plugin/AEffEditor.h"

class AudioEffect;

namespace valvora {

class KelmoEditor : public AEffEditor, private EditorSyncTarget {
public:
    static constexpr UINT_PTR kTimerId = 4660;
    static constexpr UINT kTimerPeriodMs = 33;

    // Attaches itself to the effect (the effect's editor, effFlagsHasEditor).
    explicit KelmoEditor(AudioEffect* effect);
    // Detaches itself from the effect.
    ~KelmoEditor() override;

    bool getRect(ERect** rect) override;
    bool open(void* ptr) override;
    void close() override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc);
    void onButton(int controlId, int state);
    void showControls(bool aboutView);
    void synchronise();
    void drawAboutTexts();
    HWND controlWindow(int entry) const;
    void retireUpdateCheck() noexcept;

    DialValue& knob(int entry) override { return knobs[static_cast<std::size_t>(entry)].dial(); }
    void repaintKnob(int entry) override { knobs[static_cast<std::size_t>(entry)].requestRepaint(); }
    int buttonState(int entry) override { return button(entry).state(); }
    void setButtonState(int entry, int state) override { button(entry).setState(state); }
    CLedButton& button(int entry) { return buttons[static_cast<std::size_t>(entry - EditorLayout::kKnobCount)]; }

    ERect rect{};
    int aboutMode = 0;
    HBITMAP mainPanel = nullptr;
    HBITMAP aboutPanel = nullptr;
    HWND window = nullptr;
    UINT_PTR timer = 0;
    bool comInitialised = false;
    std::array<CKnob, EditorLayout::kKnobCount> knobs;
    std::array<CLedButton, EditorLayout::kControlCount - EditorLayout::kKnobCount> buttons;
    std::unique_ptr<UpdateChecker> updateCheck;
};

}  // namespace valvora
