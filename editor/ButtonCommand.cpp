#include "editor/ButtonCommand.h"

#include "editor/EditorLayout.h"

namespace valvora {

ButtonCommand ButtonCommand::forClick(int controlId, int state) noexcept
{
    const bool lit = (state & 1) != 0;
    ButtonCommand command;
    const int parameter = EditorLayout::parameterForControlId(controlId);
    if (parameter >= 0) {
        command.kind = Kind::setParameter;
        command.parameter = parameter;
        command.value = lit ? 1.0f : 0.0f;
    } else if (controlId == EditorLayout::kUpdateControlId) {
        command.kind = Kind::startUpdateCheck;
    } else if (controlId == EditorLayout::kAboutControlId) {
        command.kind = lit ? Kind::showAbout : Kind::hideAbout;
    }
    return command;
}

}  // namespace valvora
