// Fuzzes the reading of JSON map documents, the one text users write by hand for ondu.
// Property: whatever the text, the reader either gives a document or throws HostError naming
// the document; no other exception, crash or hang.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/host/map_document_text.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        ondu::readMapDocumentText(text, "maps", "m.json");
    } catch (const ondu::HostError& e) {
        ondu::fuzz::check(std::string_view(e.what()).find("m.json") != std::string_view::npos,
                          "a refusal that does not name the document");
    }
    return 0;
}
