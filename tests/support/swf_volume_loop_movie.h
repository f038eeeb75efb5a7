#pragma once
// A movie shaped like the game's volume display, for the tests of what the player draws
// again: a bar whose width follows "volume" on frame 2, a field showing "volume" and one
// showing "_root.label"; frame 2 says "sized" and frame 3 jumps back to it, so the movie
// never stops.

#include "swf/writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fw::swf::test {

inline std::vector<std::uint8_t> VolumeLoopMovie(double frameRate) {
    MovieWriter w(MovieOptions{6, 400, 300, frameRate, false});
    w.DefineFont(Font{1, "Tahoma", false, false});
    ShapeBuilder bar(2, 32);
    bar.Style(0, bar.Fill(Rgba{0, 200, 0, 255}), 0).Rect(0, 0, 2000, 400);
    w.DefineShape(bar.Build());
    const char* const variables[] = {"volume", "_root.label"};
    for (std::uint16_t k = 0; k < 2; ++k) {
        EditText field;
        field.id = static_cast<std::uint16_t>(3 + k);
        field.bounds = Bounds{0, 2000, 0, 400};
        field.hasFont = true;
        field.fontId = 1;
        field.variable = variables[k];
        w.DefineEditText(field);
    }
    for (std::uint16_t depth = 1; depth <= 3; ++depth) {
        Placement p;
        p.depth = depth;
        p.character = static_cast<std::uint16_t>(depth + 1);
        p.matrix = Matrix{1, 0, 0, 1, 0, 1000.0 * (depth - 1)};
        if (depth == 1) {
            p.name = "bar";
        }
        w.Place(p);
    }
    w.ShowFrame();
    w.Actions(ActionWriter()
                  .Push({std::string("bar"), static_cast<std::int32_t>(2), std::string("volume")})
                  .Do(Op::GetVariable)
                  .Do(Op::ToInteger)
                  .Push({static_cast<std::int32_t>(5)})
                  .Do(Op::Multiply)
                  .Do(Op::SetProperty)
                  .FsCommand("sized", ""));
    w.ShowFrame();
    w.Actions(ActionWriter().GotoFrame(1).Do(Op::Play));
    w.ShowFrame();
    return w.Finish();
}

} // namespace fw::swf::test
