#pragma once

#include <QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>

// QCoro::waitFor() never returns when the awaited task throws (the error is left in a task nobody
// awaits): run() carries the error out and throws it again in the test.
namespace TaskWait {

template <typename T> T run(QCoro::Task<T> task)
{
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    const auto catching = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(task);
            else
                result.emplace(co_await std::move(task));
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(catching());
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace TaskWait
