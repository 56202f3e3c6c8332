#pragma once
namespace qv {

// Long jobs call yield() at every step. The window's implementation decides by
// elapsed time whether to actually pump messages, so a step costs a clock read;
// tests count the calls to press "Stop" at a chosen one.
class Yielder {
public:
    virtual ~Yielder() = default;
    virtual void yield() = 0;
    // Counts the times handlers have had the thread, so that a job caching
    // something derived from shared state re-reads it only when this moved.
    // kTurnsUnknown: any yield may have run a handler.
    static constexpr unsigned long long kTurnsUnknown = ~0ULL;
    virtual unsigned long long turns() const { return kTurnsUnknown; }
};

}  // namespace qv
