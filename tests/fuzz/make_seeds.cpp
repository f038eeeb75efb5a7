// Writes the fuzzer's starting movies: one of each construct the player reads.

#include "swf/writer.h"

#include <cstdio>
#include <string>

using namespace fw::swf;

namespace {

void Save(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    for (bool compressed : {false, true}) {
        MovieWriter w(MovieOptions{6, 800, 600, 12, compressed});
        w.Background(Rgb{0, 0, 64});
        w.Label("start");
        ActionWriter a;
        auto top = a.NewLabel();
        auto done = a.NewLabel();
        a.ConstantPool({"i", "s"});
        a.Push({PushConstant{0}, 0.0}).Do(Op::SetVariable);
        a.Bind(top);
        a.Push({PushConstant{0}})
            .Do(Op::GetVariable)
            .Push({3.0})
            .Do(Op::Less2)
            .Do(Op::Not)
            .If(done);
        a.Push({PushConstant{1}, PushConstant{1}}).Do(Op::GetVariable).Push({std::string("x")});
        a.Do(Op::StringAdd).Do(Op::SetVariable);
        a.Push({PushConstant{0}, PushConstant{0}}).Do(Op::GetVariable).Do(Op::Increment);
        a.Do(Op::SetVariable).Jump(top);
        a.Bind(done);
        a.Push({std::string("o"), std::string("k"), 1.0, 1.0})
            .Do(Op::InitObject)
            .Do(Op::SetVariable);
        a.Push({std::string("FSCommand:save level"), std::string("3")}).GetUrl2();
        a.Push({2.0}).StoreRegister(1).Do(Op::Trace);
        w.Actions(a);
        w.InitActions(
            1, ActionWriter().Push({std::string("_root.v"), PushFloat{1.5f}}).Do(Op::SetVariable));
        w.ShowFrame();
        w.Actions(
            ActionWriter().FsCommand("quit", "").GoToLabel("start").Push({1.0}).GotoFrame2(true));
        w.ShowFrame();
        w.Actions(ActionWriter().Do(Op::NextFrame).Do(Op::PreviousFrame).GotoFrame(0).Do(Op::Stop));
        w.ShowFrame();
        Save(dir, compressed ? "compressed.swf" : "plain.swf", w.Finish());
    }
    Save(
        dir, "flashvars.txt",
        std::vector<std::uint8_t>{'a', '=', '1', '&', 'b', '=', '%', '4', '1', '+', '&', '&', 'c'});
    return 0;
}
