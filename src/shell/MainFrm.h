#pragma once
// The program's main window: black, borderless, maximised; it hosts the
// player control and carries the window operations the movie asks for.

#include "win/form.h"

#include <memory>

namespace fw {

class TMainForm : public win::Form {
public:
    static std::unique_ptr<TMainForm> Create();

private:
    TMainForm();
};

} // namespace fw
