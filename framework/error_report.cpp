#include "framework/error_report.h"

#include "framework/host_operations.h"
#include "framework/ui.h"

namespace ondu {

ErrorInfo describe(const std::exception& e) {
    if (const auto* host = dynamic_cast<const HostError*>(&e))
        return {host->number(), host->what()};
    return {1, e.what()};
}

void reportError(const std::string& step, const std::exception& e) {
    auto [number, description] = describe(e);
    MsgBox(std::to_string(number) + ": " + description, MsgButtons::OK, "Error in " + step);
}

void reportMapError(const std::string& routine, const std::exception& e) {
    auto [number, description] = describe(e);
    MsgBox("Following error occured: " + description + ".", MsgButtons::OK,
           "Error in " + routine + ", Error Number: " + std::to_string(number));
}

void reportFileError(const std::string& routine, const std::exception& e) {
    auto [number, description] = describe(e);
    MsgBox("The following error occurred: " + description + ".", MsgButtons::OK,
           routine + ": " + std::to_string(number));
}

}  // namespace ondu
