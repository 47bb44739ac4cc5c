#pragma once
// Generic interface of a memoryless nonlinearity closed in a loop with a linear
// network. It lets analysis tools probe a loop element by element; the
// processing path never calls through it (it solves the loop in closed form).

namespace valvora {

class NonlinearElement {
public:
    virtual ~NonlinearElement() = default;

    // Advance the network state of `channel` with the element's output.
    virtual void advanceState(double output, int channel) noexcept { (void)output, (void)channel; }

    // The network's output for a trial element output: dd·y + cd·state.
    virtual double linearPrediction(double output, int channel) const noexcept
    {
        (void)channel;
        return output;
    }

    // How far a trial output is from satisfying the loop equation; zero at the
    // solution. The base element is the bare curve and returns its value.
    virtual double loopResidual(double output, double input) const noexcept
    {
        (void)input;
        return output;
    }

    // The input with the network's state contribution removed.
    virtual double effectiveInput(double input, int channel) const noexcept
    {
        (void)channel;
        return input;
    }
};

}  // namespace valvora
