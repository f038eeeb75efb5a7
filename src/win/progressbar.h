#pragma once
// A progress bar.

#include "win/control.h"

namespace fw::win {

struct ProgressBarArgs {
    ControlPlace place;
    int min = 0;
    int max = 100;
    // A continuous bar rather than blocks.
    bool smooth = true;
};

class ProgressBar : public Control {
public:
    void Create(const ProgressBarArgs& args);

    void SetRange(int min, int max);
    int Max() const;
    int Position() const;
    void SetPosition(int position);
};

} // namespace fw::win
