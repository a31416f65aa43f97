#include "guarded.h"

namespace framla::runtime::detail {

HandlerResult handleFailure(ProgramState &state, RuntimeError &error, int tries,
                            const std::source_location &where)
{
    error.tries = tries;
    // The routine that guards the operation is the next level out, unless the
    // failing operation was a lambda written inside that same routine.
    const StackFrame caller = stackFrame(where);
    if (error.callStack.isEmpty() || error.callStack.last().name != caller.name)
        error.callStack.append(caller);
    return StandardEH(state, error);
}

} // namespace framla::runtime::detail
