#include "framework/error_report.h"

#include "framework/error.h"
#include "framework/ui.h"

namespace ondu {

ErrorInfo describe(const std::exception& e) {
    if (const auto* host = dynamic_cast<const HostError*>(&e))
        return {host->number(), host->what()};
    return {error_number::kGeneric, e.what()};
}

void report(ErrorStyle style, const std::string& routine, const std::exception& e) {
    const auto [number, description] = describe(e);
    const auto* host = dynamic_cast<const HostError*>(&e);
    const std::string numbered = std::to_string(number) + ": " + description;
    if (const auto* refused = dynamic_cast<const RunRefused*>(&e)) {
        MsgBox(description, MsgButtons::OK, refused->context());
        return;
    }
    switch (style) {
        case ErrorStyle::Routine:
            // The step that failed, when the failure names one, is what the user must look at.
            MsgBox(numbered, MsgButtons::OK,
                   "Error in " + (host && !host->context().empty() ? host->context() : routine));
            return;
        case ErrorStyle::Map:
            MsgBox("Following error occured: " + description + ".", MsgButtons::OK,
                   "Error in " + routine + ", Error Number: " + std::to_string(number));
            return;
        case ErrorStyle::File:
            MsgBox("The following error occurred: " + description + ".", MsgButtons::OK,
                   routine + ": " + std::to_string(number));
            return;
        case ErrorStyle::Plain:
            MsgBox(description, MsgButtons::OK,
                   host && !host->context().empty() ? host->context() : routine);
            return;
        case ErrorStyle::Feature:
            MsgBox(numbered, MsgButtons::OK, host ? host->where() : "");
            return;
    }
}

bool trapped(ErrorStyle style, const std::string& routine, const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        report(style, routine, e);
        return false;
    }
}

}  // namespace ondu
