#pragma once

// Running an operation under the central handler, on any thread: a failure
// goes to StandardEH, which may retry it, let it go on with its default
// result, abandon it (OperationAbandoned) or end the program.

#include "runtime/error.h"

#include <exception>
#include <optional>
#include <source_location>
#include <type_traits>
#include <utility>

namespace framla::runtime {

namespace detail {
/// Counts the attempt, adds the guarding routine to the call stack and asks
/// the handler.
HandlerResult handleFailure(ProgramState &state, RuntimeError &error, int tries,
                            const std::source_location &where);
} // namespace detail

/// Runs op until it succeeds or the handler settles otherwise. A default
/// result from the handler gives defaultResult; a number from the handler
/// (a division by zero) gives that number when the result is arithmetic.
/// OperationAbandoned passes through to the nearest recovery point; any
/// other exception goes to the handler as foreignError.
template<typename Op>
std::invoke_result_t<Op &> guarded(ProgramState &state, Op &&op,
                                   std::type_identity_t<std::invoke_result_t<Op &>> defaultResult,
                                   std::source_location where = std::source_location::current())
{
    using Result = std::invoke_result_t<Op &>;
    for (int tries = 1;; ++tries) {
        std::optional<RuntimeError> failure;
        try {
            return op();
        } catch (RuntimeError &error) {
            failure = std::move(error);
        } catch (const OperationAbandoned &) {
            throw;
        } catch (...) {
            failure = foreignError(std::current_exception(), where);
        }
        const HandlerResult result = detail::handleFailure(state, *failure, tries, where);
        if (result.kind == HandlerResult::Kind::Retry)
            continue;
        if constexpr (std::is_arithmetic_v<Result>) {
            if (result.kind == HandlerResult::Kind::Number)
                return static_cast<Result>(result.number);
        }
        return defaultResult;
    }
}

/// guarded for an operation without a result: true when it completed, false
/// when it went on with its default (it was skipped).
template<typename Op>
bool guardedRun(ProgramState &state, Op &&op,
                std::source_location where = std::source_location::current())
{
    return guarded(
        state,
        [&op] {
            op();
            return true;
        },
        false, where);
}

/// A recovery point, such as a worker's task: runs op under the handler and
/// ends there when the operator abandons it. True when op completed.
template<typename Op>
bool runRecoverable(ProgramState &state, Op &&op,
                    std::source_location where = std::source_location::current())
{
    try {
        return guardedRun(state, std::forward<Op>(op), where);
    } catch (const OperationAbandoned &) {
        return false;
    }
}

} // namespace framla::runtime
