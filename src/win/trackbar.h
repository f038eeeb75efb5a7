#pragma once
// A trackbar (slider).

#include "win/control.h"

#include <functional>

namespace fw::win {

struct TrackBarArgs {
    ControlPlace place;
    bool horizontal = true;
    int min = 0;
    int max = 10;
    int position = 0;
    // A tick every so many positions.
    int tickFrequency = 1;
};

class TrackBar : public Control {
public:
    void Create(const TrackBarArgs& args);

    int Min() const;
    int Max() const;
    // The position stays inside the range, as the control keeps it.
    void SetRange(int min, int max);
    void SetTickFrequency(int frequency);
    int Position() const;
    void SetPosition(int position);

    // The user moved the thumb to a new position; letting it go where it was,
    // or the program's own changes, call nothing.
    std::function<void(int position)> onChange;

protected:
    bool OnScroll(WORD code) override;

private:
    int known_ = 0;
};

} // namespace fw::win
