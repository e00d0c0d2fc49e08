#pragma once

#include <QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>

// QCoro::waitFor() never returns when the awaited task throws (the error is
// left in a task nobody awaits). These wrappers carry the error out and
// throw it again in the test.
namespace TaskWait {

template <typename T> QCoro::Task<std::optional<T>> catching(QCoro::Task<T> task, std::exception_ptr* error)
{
    try {
        co_return co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    co_return std::nullopt;
}

inline QCoro::Task<bool> catchingVoid(QCoro::Task<> task, std::exception_ptr* error)
{
    try {
        co_await std::move(task);
        co_return true;
    } catch (...) {
        *error = std::current_exception();
    }
    co_return false;
}

// Runs the task to its end; its error is thrown here.
template <typename T> T run(QCoro::Task<T> task)
{
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor(catchingVoid(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> result = QCoro::waitFor(catching(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
        return std::move(*result);
    }
}

} // namespace TaskWait
