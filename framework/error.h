#pragma once
// The one error type that core code throws: the host's error number, its description, and where
// it happened (the routine or step, and the feature or line), so that the message a user reads
// names the input to fix. Message boxes are shown only where a failure is trapped
// (framework/error_report.h); parsers, writers and geometry never show one themselves.

#include <stdexcept>
#include <string>
#include <utility>

namespace ondu {

/// The host's numbers for the failures met most.
namespace error_number {
inline constexpr long kGeneric = 1;
inline constexpr long kInvalidArgument = 5;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kInvalidUseOfNull = 94;
inline constexpr long kItemNotFound = 3265;
}  // namespace error_number

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& description, long number = error_number::kGeneric,
                       std::string context = {}, std::string where = {})
        : std::runtime_error(description),
          number_(number),
          context_(std::move(context)),
          where_(std::move(where)) {}

    long number() const { return number_; }
    /// The routine or step that failed ("fnGetThalFromCur", "Error Occurred"); may be empty.
    const std::string& context() const { return context_; }
    /// The feature or line being processed ("12", "line 40"); may be empty.
    const std::string& where() const { return where_; }

private:
    long number_;
    std::string context_;
    std::string where_;
};

/// A run refused before it changed anything: its inputs cannot give a result (nothing to process,
/// an output that is one of the inputs). Shown as a warning whatever the routine's style.
class RunRefused : public HostError {
public:
    explicit RunRefused(const std::string& text, std::string title = "Warning")
        : HostError(text, error_number::kGeneric, std::move(title)) {}
};

/// The run was stopped at the user's request (a cancel between items).
class RunCancelled : public HostError {
public:
    RunCancelled() : HostError("The run was cancelled", 18) {}
};

}  // namespace ondu
