#pragma once
// Memory for XML documents. A channel-geometry document of 10,000 cross-sections becomes some
// 250 MB of pugixml nodes and attributes, and mapping that memory page by page as it is first
// written costs more than parsing it. Where the system backs anonymous memory with huge pages on
// request (2 MB each instead of 4 kB, which takes the page faults down some 500-fold), documents
// are given memory from large regions marked for them; elsewhere, and wherever a sanitizer
// watches the heap (an arena would hide a document's overruns from it), they use plain malloc.

#include <cstddef>

namespace ondu {

/// Where XML documents take their memory from.
class XmlMemory {
public:
    virtual ~XmlMemory() = default;
    /// A block of at least `size` bytes aligned for any object; nullptr when memory is
    /// exhausted.
    virtual void* allocate(std::size_t size) = 0;
    /// Returns a block taken from `allocate`, or one that pugixml took from malloc before this
    /// memory was installed for it. Null is ignored.
    virtual void deallocate(void* block) = 0;
    /// Bytes held from the system beyond malloc's own heap, whether blocks in them are in use or
    /// not: at most one idle region kept for reuse once every document is gone.
    virtual std::size_t heldBytes() const = 0;
};

/// malloc and free.
XmlMemory& plainXmlMemory();

/// The huge-page arena where the system offers huge pages on request and no sanitizer is
/// built in; plainXmlMemory() elsewhere. A region the system refuses to map makes the arena
/// hand out malloc blocks instead. Regions are unmapped as soon as their blocks are all freed,
/// except the one blocks are being taken from, which is kept for the next document and
/// returned at exit.
XmlMemory& fastestXmlMemory();

/// Makes every pugixml document allocated from now on take its memory from fastestXmlMemory().
/// Safe at any time and more than once: blocks that pugixml took before are still freed where
/// they came from.
void useHugePagesForXmlDocuments();

}  // namespace ondu
