// Failure values for the core library: every operation that can fail returns
// a Status or a Result<T> that the caller has to look at. A failure carries
// its kind (an ErrorCode, for callers that act on it), the message the user
// sees and, where known, the reason behind it ("No space left on device"),
// which the window and the command line add, and the file it concerns.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace trx5 {

// The kinds of failure that callers tell apart. Decisions are made on the
// code, never on the message's text.
enum class ErrorCode {
    None,           // no failure
    Failed,         // any other failure
    CannotOpen,     // a file to read cannot be opened or read
    NotAudio,       // a file holds no audio the program can use
    CannotCreate,   // a file or folder to write cannot be made
    CannotWrite,    // writing a file failed
    CannotConvert,  // a sampling rate cannot be converted
    NoCard,         // a folder without the card's machine file
    InvalidCard,    // a machine file with another signature
    NoSpace,        // the files would not fit in the free space
    Exists,         // a file to write is there and is not to be replaced
};

class [[nodiscard]] Status {
  public:
    Status() = default;
    static Status Ok() { return Status(); }
    static Status Fail(ErrorCode code, std::string message, std::string reason = {}) {
        return Status(code == ErrorCode::None ? ErrorCode::Failed : code, std::move(message),
                      std::move(reason));
    }

    bool ok() const { return !message_.has_value(); }
    explicit operator bool() const { return ok(); }
    ErrorCode code() const { return code_; }
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
    // "path: reason", the way a failure is told whose message is the same
    // for every file of a run (a copy, stems); Describe() when it names no
    // file.
    std::string FileAndReason() const {
        return path_.empty() ? Describe() : path_ + ": " + reason_;
    }

  private:
    Status(ErrorCode code, std::string message, std::string reason)
        : code_(code), message_(std::move(message)), reason_(std::move(reason)) {}
    ErrorCode code_ = ErrorCode::None;
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
    ErrorCode code() const { return status_.code(); }
    const std::string& message() const { return status_.message(); }
    const std::string& reason() const { return status_.reason(); }
    const std::string& path() const { return status_.path(); }
    std::string Describe() const { return status_.Describe(); }
    std::string FileAndReason() const { return status_.FileAndReason(); }

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
