#include "editor/PanelSurface.h"

namespace valvora {

namespace {
std::array<int, EditorLayout::kControlCount> makeStacking()
{
    // Child windows stack in the order they were created, the first on top
    // (where the drive lamp overlaps the Drive Volume knob, the knob wins).
    std::array<int, EditorLayout::kControlCount> order{};
    std::size_t n = order.size();
    for (int entry : EditorLayout::knobCreationOrder()) order[--n] = entry;
    for (int entry : EditorLayout::buttonCreationOrder()) order[--n] = entry;
    return order;
}
}  // namespace

const std::array<int, EditorLayout::kControlCount>& PanelSurface::stacking() noexcept
{
    static const std::array<int, EditorLayout::kControlCount> order = makeStacking();
    return order;
}

void PanelSurface::build(const PixelImage& mainPanel, const PixelImage& aboutPanel, const ImageSource& images)
{
    reset();
    main_ = mainPanel;
    aboutPanel_ = aboutPanel;
    frame_ = PixelImage(EditorLayout::kPanelWidth, EditorLayout::kPanelHeight);
    if (!main_.empty()) frame_ = PixelImage(main_.width(), main_.height());
    const PixelImage scale = images(EditorLayout::kKnobScaleResource);
    for (int entry : stacking()) {
        const ControlPlacement& p = EditorLayout::entry(entry);
        if (isKnob(entry)) {
            knobImages_[index(entry)].compose(main_, p.x, p.y, images(p.resource), scale);
        } else {
            model(entry).configure(p.controlId, EditorLayout::kButtonFrames);
            buttonImages_[index(entry - EditorLayout::kKnobCount)].compose(
                main_, p.x, p.y, images(p.resource), EditorLayout::kButtonFrames);
        }
    }
    // Every opening starts in the normal view, the about button dark.
    model(EditorLayout::kAboutEntry).setState(0);
    setAboutView(false);
}

void PanelSurface::reset() noexcept
{
    for (KnobImage& k : knobImages_) k.clear();
    for (ButtonImage& b : buttonImages_) b.clear();
    for (DialValue& d : dials_) d.release();
    main_ = PixelImage();
    aboutPanel_ = PixelImage();
    frame_ = PixelImage();
    invalid_ = {};
    captured_ = -1;
    about_ = false;
}

bool PanelSurface::hasControl(int entry) const noexcept
{
    if (entry < 0 || entry >= EditorLayout::kControlCount) return false;
    return isKnob(entry) ? knobImages_[index(entry)].composed()
                         : buttonImages_[index(entry - EditorLayout::kKnobCount)].composed();
}

PixelRect PanelSurface::placeOf(int entry) const noexcept
{
    if (!hasControl(entry)) return {};
    const ControlPlacement& p = EditorLayout::entry(entry);
    if (isKnob(entry)) {
        const PixelImage& picture = knobImages_[index(entry)].picture();
        return {p.x, p.y, picture.width(), picture.height()};
    }
    const ButtonImage& image = buttonImages_[index(entry - EditorLayout::kKnobCount)];
    return {p.x, p.y, image.width(), image.frameHeight()};
}

void PanelSurface::invalidate(const PixelRect& area) noexcept
{
    invalid_ = invalid_.united(area.intersected({0, 0, frame_.width(), frame_.height()}));
}

PixelRect PanelSurface::paint() noexcept
{
    const PixelRect area = invalid_;
    invalid_ = {};
    if (area.empty()) return {};
    frame_.copyFrom(about_ ? aboutPanel_ : main_, area, area.x, area.y);
    for (int entry : stacking())
        if (visible(entry) && !placeOf(entry).intersected(area).empty()) drawControl(entry, area);
    return area;
}

void PanelSurface::drawControl(int entry, const PixelRect& clip) noexcept
{
    const PixelRect place = placeOf(entry);
    const PixelRect shown = place.intersected(clip);
    PixelRect source{shown.x - place.x, shown.y - place.y, shown.width, shown.height};
    if (isKnob(entry)) {
        DialValue& dial = dials_[index(entry)];
        const PixelImage& picture = knobImages_[index(entry)].render(dial.value(), EditorLayout::kKnobCentreX,
                                                                     EditorLayout::kKnobCentreY);
        frame_.copyFrom(picture, source, shown.x, shown.y);
        dial.markPainted();
        return;
    }
    const ButtonImage& image = buttonImages_[index(entry - EditorLayout::kKnobCount)];
    source.y += image.frame(model(entry).state()).y;
    frame_.copyFrom(image.picture(), source, shown.x, shown.y);
}

int PanelSurface::controlAt(int x, int y) const noexcept
{
    const auto& order = stacking();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (visible(*it) && placeOf(*it).contains(x, y)) return *it;
    return -1;
}

bool PanelSurface::press(int x, int y, bool ctrl, Click& click) noexcept
{
    const int entry = controlAt(x, y);
    if (entry < 0) return false;
    const PixelRect place = placeOf(entry);
    if (isKnob(entry)) {
        if (dials_[index(entry)].press(y - place.y, ctrl)) captured_ = entry;
        return false;
    }
    LedButtonModel& button = model(entry);
    if (button.controlId() == 0) return false;  // an indicator: no capture either
    const bool changed = button.press();
    captured_ = entry;
    invalidate(place);
    if (!changed) return false;
    click = {button.controlId(), button.state()};
    return true;
}

void PanelSurface::move(int x, int y, bool shift) noexcept
{
    (void)x;
    // Only a captured knob follows the pointer; like the knob windows it
    // shows its new value when the poll next repaints it.
    if (captured_ >= 0 && isKnob(captured_))
        dials_[index(captured_)].move(y - EditorLayout::entry(captured_).y, shift);
}

void PanelSurface::release() noexcept
{
    if (captured_ < 0) return;
    if (isKnob(captured_)) {
        dials_[index(captured_)].release();
    } else {
        model(captured_).release();
        invalidate(placeOf(captured_));
    }
    captured_ = -1;
}

void PanelSurface::loseCapture() noexcept
{
    // A drag ends where it is; a button keeps the state its press gave it.
    if (captured_ >= 0 && isKnob(captured_)) dials_[index(captured_)].release();
    captured_ = -1;
}

void PanelSurface::setAboutView(bool about) noexcept
{
    about_ = about;
    for (int entry = 0; entry < EditorLayout::kControlCount; ++entry)
        shown_[index(entry)] = !about || EditorLayout::shownInAboutView(entry);
    if (captured_ >= 0 && !shown_[index(captured_)]) loseCapture();
    invalidate({0, 0, frame_.width(), frame_.height()});
}

void PanelSurface::repaintKnob(int entry)
{
    if (dials_[index(entry)].needsRepaint()) invalidate(placeOf(entry));
}

void PanelSurface::setButtonState(int entry, int state)
{
    model(entry).setState(state);
    invalidate(placeOf(entry));
}

}  // namespace valvora
