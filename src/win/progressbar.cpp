#include "win/progressbar.h"

#include <commctrl.h>

namespace fw::win {

void ProgressBar::Create(const ProgressBarArgs& a) {
    CreateWindowOf(PROGRESS_CLASSW, a.smooth ? PBS_SMOOTH : 0, 0, a.place);
    SetRange(a.min, a.max);
}

void ProgressBar::SetRange(int min, int max) {
    ::SendMessageW(Handle(), PBM_SETRANGE32, min, max);
}

int ProgressBar::Max() const {
    return static_cast<int>(::SendMessageW(Handle(), PBM_GETRANGE, FALSE, 0));
}

int ProgressBar::Position() const {
    return static_cast<int>(::SendMessageW(Handle(), PBM_GETPOS, 0, 0));
}

void ProgressBar::SetPosition(int position) {
    ::SendMessageW(Handle(), PBM_SETPOS, position, 0);
}

} // namespace fw::win
