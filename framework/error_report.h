#pragma once
// The message boxes with which routines report a trapped failure.

#include <exception>
#include <string>

namespace ondu {

/// The number and description of a trapped failure (HostError keeps its number; others are 1).
struct ErrorInfo {
    long number;
    std::string description;
};
ErrorInfo describe(const std::exception& e);

/// Text "number: description", title "Error in " + step ("Error in loading the form").
void reportError(const std::string& step, const std::exception& e);
/// Title "Error in " + routine + ", Error Number: " + number; text "Following error occured: "
/// + description + "." (the map routines).
void reportMapError(const std::string& routine, const std::exception& e);
/// Title routine + ": " + number; text "The following error occurred: " + description + "."
/// (the surface and file routines).
void reportFileError(const std::string& routine, const std::exception& e);

}  // namespace ondu
