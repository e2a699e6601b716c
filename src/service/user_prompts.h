// The one way the service asks the user something while a command runs: the window answers with its boxes, the
// command line and hidden starts with the null prompts, which answer every question no and show nothing.
#pragma once

#include "service/service_types.h"

namespace quorvane {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // Someone is there to answer (a window on screen). Where nobody is, a question is not put: the command stops
    // and says why, and how to do it another way.
    virtual bool canAsk() const { return false; }
    // The programs the definition names that the user has not approved (plan.unapproved), to be shown whole; yes
    // approves them for this tunnel, no stops the connect.
    virtual bool approvePrograms(const ConnectPlan& /*plan*/) { return false; }
    // A connect is about to start its client: the command line, its password masked, for the user's eyes. The box
    // may let events through.
    virtual void aboutToStart(const ConnectPlan& /*plan*/) {}
};

// Nobody to ask: nothing is shown, and what needs a yes does not happen.
class NullPrompts : public UserPrompts {};

// One shared instance, for commands given where nobody can be asked.
inline UserPrompts& nullPrompts() {
    static NullPrompts prompts;
    return prompts;
}

} // namespace quorvane
