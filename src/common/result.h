// Failure values for the core library: every operation that can fail returns
// a Status or a Result<T> that the caller has to look at.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace trx5 {

class [[nodiscard]] Status {
public:
    Status() = default;
    static Status Ok() { return Status(); }
    static Status Fail(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !message_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& message() const {
        static const std::string kEmpty;
        return message_ ? *message_ : kEmpty;
    }

private:
    explicit Status(std::string message) : message_(std::move(message)) {}
    std::optional<std::string> message_;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Status failure) : status_(std::move(failure)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return status_; }
    const std::string& message() const { return status_.message(); }

    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }

private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace trx5
