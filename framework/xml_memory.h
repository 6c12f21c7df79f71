#pragma once
// Memory for XML documents. A channel-geometry document of 10,000 cross-sections becomes some
// 250 MB of pugixml nodes and attributes, and mapping that memory page by page as it is first
// written costs more than parsing it. Documents are therefore given memory from large regions
// that the system is asked to back with huge pages (2 MB each instead of 4 kB), which takes the
// page faults down some 500-fold; a system that declines the hint pays the usual faults only.

namespace ondu {

/// Makes every pugixml document allocated from now on take its memory from huge-page regions.
/// Safe at any time and more than once: blocks that pugixml took before are still freed where
/// they came from.
void useHugePagesForXmlDocuments();

}  // namespace ondu
