// Failure values for the core library: every operation that can fail returns
// a Status or a Result<T> that the caller has to look at. A failure carries
// the message the user sees and, where known, the reason behind it ("No
// space left on device"), which the window and the command line add.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace trx5 {

class [[nodiscard]] Status {
  public:
    Status() = default;
    static Status Ok() { return Status(); }
    static Status Fail(std::string message, std::string reason = {}) {
        return Status(std::move(message), std::move(reason));
    }

    bool ok() const { return !message_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& message() const {
        static const std::string kEmpty;
        return message_ ? *message_ : kEmpty;
    }
    const std::string& reason() const { return reason_; }
    // The file the failure concerns; empty when none is known.
    const std::string& path() const { return path_; }
    // The same failure, concerning `path` unless it names a file already
    // (the innermost file is the one that failed).
    Status WithPath(std::string path) const {
        Status s = *this;
        if (s.path_.empty()) s.path_ = std::move(path);
        return s;
    }
    // "message: reason", or the message alone when no reason is known.
    std::string Describe() const {
        return reason_.empty() ? message() : message() + ": " + reason_;
    }

  private:
    Status(std::string message, std::string reason)
        : message_(std::move(message)), reason_(std::move(reason)) {}
    std::optional<std::string> message_;
    std::string reason_;
    std::string path_;
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
    const std::string& reason() const { return status_.reason(); }
    const std::string& path() const { return status_.path(); }
    std::string Describe() const { return status_.Describe(); }

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
