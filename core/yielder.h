#pragma once
namespace qv {

// Long jobs call yield() at every step. The window's implementation decides by
// elapsed time whether to actually pump messages, so a step costs a clock read;
// tests count the calls to press "Stop" at a chosen one.
class Yielder {
public:
    virtual ~Yielder() = default;
    virtual void yield() = 0;
};

}  // namespace qv
