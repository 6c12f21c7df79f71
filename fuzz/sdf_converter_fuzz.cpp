// Fuzzes the SDF-to-XML conversion through its public entry, file to file, as a calling
// program would. Properties: the result agrees with what the user is shown (true exactly when
// no message box appeared, false with exactly one error box), a failed conversion leaves no
// file behind, and every output is well-formed XML with the root RASOFile.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "exchange/sdf_converter.h"
#include "fuzz/fuzz_support.h"
#include "support/recording_ui.h"

namespace {

namespace fs = std::filesystem;
using ondu::fuzz::check;

void checkWellFormed(const fs::path& output) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(output.c_str());
    check(static_cast<bool>(parsed), std::string("the XML written is not well-formed: ") +
                                         parsed.description() + " at byte " +
                                         std::to_string(parsed.offset));
    check(std::string_view(document.document_element().name()) == "RASOFile",
          "the XML written has no RASOFile root");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& folder = ondu::fuzz::scratchFolder();
    const fs::path input = folder / "in.sdf";
    const fs::path output = folder / "out.xml";
    ondu::fuzz::writeFile(input, {reinterpret_cast<const char*>(data), size});
    fs::remove(output);

    ondu::test::RecordingUI ui;
    ondu::clsConvertRASOutputToXML converter;
    const bool converted = converter.ConvertToXMLFormat(input.string(), output.string());

    if (converted) {
        check(ui.messages.empty(), "a conversion that succeeded showed a message");
        checkWellFormed(output);
        return 0;
    }
    check(ui.messages.size() == 1, "a failed conversion did not show exactly one message");
    check(ui.messages[0].title == "Error in ConvertToXMLFormat",
          "a failed conversion showed a message titled \"" + ui.messages[0].title + "\"");
    check(!fs::exists(output), "a failed conversion left an output file");
    check(std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1,
          "a failed conversion left a file beside its output");
    return 0;
}
