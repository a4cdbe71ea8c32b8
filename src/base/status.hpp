// What a phase or routine hands back: fine, or a halt. A halt carries the
// message of the run's status text and the list-file lines that explain it;
// the driver writes both.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrel {

class [[nodiscard]] Status {
 public:
  // Fine.
  Status() = default;

  // A halt with `message` as the status text; `see_list` appends the
  // pointer to the list file. List-file lines are added with line().
  static Status halt(std::string message, bool see_list) {
    Status s;
    s.halted_ = true;
    s.message_ = std::move(message);
    s.see_list_ = see_list;
    return s;
  }

  // Adds a finished list-file line.
  Status& line(std::string text) & {
    lines_.push_back(std::move(text));
    return *this;
  }
  Status&& line(std::string text) && { return std::move(line(std::move(text))); }

  [[nodiscard]] bool ok() const noexcept { return !halted_; }
  [[nodiscard]] const std::string& message() const noexcept { return message_; }
  [[nodiscard]] bool see_list() const noexcept { return see_list_; }
  [[nodiscard]] std::span<const std::string> lines() const noexcept { return lines_; }
  // The status text unpadded: the message, then the pointer to the list file
  // if the halt has one.
  [[nodiscard]] std::string text() const {
    if (!halted_) return "NORMAL TERMINATION";
    return see_list_ ? message_ + "   --   See the list file" : message_;
  }

 private:
  bool halted_ = false;
  bool see_list_ = false;
  std::string message_;
  std::vector<std::string> lines_;
};

// A value, or the halt that stopped it from being made.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, like std::expected
  Result(Status halt) : status_(std::move(halt)) {}  // NOLINT

  [[nodiscard]] bool ok() const noexcept { return value_.has_value(); }
  [[nodiscard]] const T& operator*() const& { return *value_; }
  [[nodiscard]] T& operator*() & { return *value_; }
  [[nodiscard]] T&& operator*() && { return std::move(*value_); }
  [[nodiscard]] const T* operator->() const { return &*value_; }
  [[nodiscard]] T* operator->() { return &*value_; }
  [[nodiscard]] const Status& status() const& noexcept { return status_; }
  [[nodiscard]] Status&& status() && noexcept { return std::move(status_); }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace kestrel
