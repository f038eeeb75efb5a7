#include "win/trackbar.h"

#include <commctrl.h>

namespace fw::win {

void TrackBar::Create(const TrackBarArgs& a) {
    CreateWindowOf(TRACKBAR_CLASSW,
                   WS_TABSTOP | TBS_AUTOTICKS | (a.horizontal ? TBS_HORZ : TBS_VERT), 0, a.place);
    SetRange(a.min, a.max);
    SetTickFrequency(a.tickFrequency);
    SetPosition(a.position);
}

int TrackBar::Min() const {
    return static_cast<int>(::SendMessageW(Handle(), TBM_GETRANGEMIN, 0, 0));
}
int TrackBar::Max() const {
    return static_cast<int>(::SendMessageW(Handle(), TBM_GETRANGEMAX, 0, 0));
}

void TrackBar::SetRange(int min, int max) {
    ::SendMessageW(Handle(), TBM_SETRANGEMIN, FALSE, min);
    ::SendMessageW(Handle(), TBM_SETRANGEMAX, TRUE, max);
    known_ = Position();
}

void TrackBar::SetTickFrequency(int frequency) {
    ::SendMessageW(Handle(), TBM_SETTICFREQ, frequency, 0);
}

int TrackBar::Position() const {
    return static_cast<int>(::SendMessageW(Handle(), TBM_GETPOS, 0, 0));
}

void TrackBar::SetPosition(int position) {
    ::SendMessageW(Handle(), TBM_SETPOS, TRUE, position);
    known_ = Position();
}

bool TrackBar::OnScroll(WORD) {
    // A scroll message comes also when the thumb is let go where it was.
    const int now = Position();
    if (now != known_) {
        known_ = now;
        if (onChange) {
            onChange(now);
        }
    }
    return true;
}

} // namespace fw::win
