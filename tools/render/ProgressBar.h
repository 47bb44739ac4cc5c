#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal so
// logs and pipes stay clean.

#include <string>

namespace valvora::render {

class ProgressBar {
public:
    ProgressBar(std::string label, long long total);
    ~ProgressBar();
    void update(long long done);
    // Clears the bar so the next line starts clean; also done on destruction.
    void finish();

private:
    std::string label_;
    long long total_;
    int lastPercent_ = -1;
    bool enabled_;
};

}  // namespace valvora::render
