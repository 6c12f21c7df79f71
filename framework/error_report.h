#pragma once
// The error boundary: where a failure is trapped, it becomes one message box in the style the
// routine's text calls for, and the routine returns its default result.

#include <exception>
#include <functional>
#include <string>

namespace ondu {

/// The number and description of a trapped failure (HostError keeps its number; others are 1).
struct ErrorInfo {
    long number;
    std::string description;
};
ErrorInfo describe(const std::exception& e);

/// How a trapped failure is shown.
enum class ErrorStyle {
    Routine,  ///< text "number: description", title "Error in " + the error's own context
              ///< when it has one, else the routine
    Map,      ///< text "Following error occured: description.", title "Error in " + routine +
              ///< ", Error Number: " + number (the map routines)
    File,     ///< text "The following error occurred: description.", title routine + ": " +
              ///< number (the surface and file routines)
    Plain,    ///< the bare description, titled with the error's own context when it has one,
              ///< else with the routine
    Feature,  ///< text "number: description", titled with the feature being processed
};

/// Shows the failure as a message box in that style.
void report(ErrorStyle style, const std::string& routine, const std::exception& e);

/// Runs `body`; a failure is shown in that style and answers false. The one place where a run's
/// failure turns into a message box.
bool trapped(ErrorStyle style, const std::string& routine, const std::function<void()>& body);

/// The styles by name, for the routines that trap a failure and go on.
inline void reportError(const std::string& step, const std::exception& e) {
    report(ErrorStyle::Routine, step, e);
}
inline void reportMapError(const std::string& routine, const std::exception& e) {
    report(ErrorStyle::Map, routine, e);
}
inline void reportFileError(const std::string& routine, const std::exception& e) {
    report(ErrorStyle::File, routine, e);
}

}  // namespace ondu
