#include "apps/demo/DemoProgram.h"

namespace tpg::demo {

DemoProgram::DemoProgram() {
    skin_.attach(window_);
}

DemoProgram::~DemoProgram() {
    skin_.detach();
}

void DemoProgram::start() {
    generators_.plugStartingGenerators();
    benchWindow_.refresh();
    window_.Form_Load();
    const QRect frame = skin_.window().frameGeometry();
    benchWindow_.move(frame.right() + 16, frame.top());
    benchWindow_.show();
}

}  // namespace tpg::demo
