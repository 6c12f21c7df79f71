#include "framework/xml_memory.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <pugixml.hpp>

namespace ondu {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
/// pugixml asks for pages of 32 kB and for strings; a region serves a thousand such pages.
constexpr std::size_t kRegionBytes = std::size_t{32} << 20;
/// A block this large (a whole input file read for parsing in place) gets a region of its own.
constexpr std::size_t kOwnRegionFrom = kRegionBytes / 4;
constexpr std::size_t kAlignment = alignof(std::max_align_t);

constexpr std::size_t roundUp(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit * unit;
}

/// Anonymous memory starting on a huge-page boundary, so that all of it can be backed by huge
/// pages; nullptr when the system has none left.
char* mapHugePageAligned(std::size_t size) {
    const std::size_t mapped = size + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto* start = static_cast<char*>(raw);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    char* aligned = start + (roundUp(address, kHugePage) - address);
    if (aligned > start) munmap(start, static_cast<std::size_t>(aligned - start));
    const std::size_t tail = mapped - static_cast<std::size_t>(aligned - start) - size;
    if (tail > 0) munmap(aligned + size, tail);
#ifdef MADV_HUGEPAGE
    madvise(aligned, size, MADV_HUGEPAGE);
#endif
    return aligned;
}

/// Regions handed out front to back; a region is returned to the system once every block in it
/// is freed and blocks are no longer taken from it.
class HugePageArena {
public:
    void* allocate(std::size_t size) {
        size = roundUp(size == 0 ? 1 : size, kAlignment);
        const std::lock_guard lock(mutex_);
        if (size >= kOwnRegionFrom) return takeFrom(newRegion(roundUp(size, kHugePage)), size);
        if (current_ == regions_.end() || current_->second.size - current_->second.used < size) {
            retireCurrent();
            current_ = newRegion(kRegionBytes);
        }
        return takeFrom(current_, size);
    }

    /// False when the block is none of the arena's.
    bool deallocate(void* block) {
        const std::lock_guard lock(mutex_);
        auto region = regions_.upper_bound(static_cast<char*>(block));
        if (region == regions_.begin()) return false;
        --region;
        if (static_cast<char*>(block) >= region->first + region->second.size) return false;
        if (--region->second.live > 0) return true;
        if (region == current_) {
            region->second.used = 0;  // blocks are taken afresh from the front
        } else {
            release(region);
        }
        return true;
    }

private:
    struct Region {
        std::size_t size = 0;
        std::size_t used = 0;
        std::size_t live = 0;  ///< blocks taken and not yet freed
    };
    using Regions = std::map<char*, Region>;

    Regions::iterator newRegion(std::size_t size) {
        char* base = mapHugePageAligned(size);
        if (base == nullptr) return regions_.end();
        return regions_.emplace(base, Region{size}).first;
    }

    void* takeFrom(Regions::iterator region, std::size_t size) {
        if (region == regions_.end()) return nullptr;
        char* block = region->first + region->second.used;
        region->second.used += size;
        ++region->second.live;
        return block;
    }

    void retireCurrent() {
        if (current_ != regions_.end() && current_->second.live == 0) release(current_);
        current_ = regions_.end();
    }

    void release(Regions::iterator region) {
        munmap(region->first, region->second.size);
        regions_.erase(region);
    }

    std::mutex mutex_;
    Regions regions_;
    Regions::iterator current_ = regions_.end();
};

HugePageArena& arena() {
    static HugePageArena* const instance = new HugePageArena;  // outlives every document
    return *instance;
}

void* allocateForXml(std::size_t size) { return arena().allocate(size); }

void deallocateForXml(void* block) {
    if (block != nullptr && !arena().deallocate(block)) std::free(block);
}

}  // namespace

void useHugePagesForXmlDocuments() {
    static std::once_flag installed;
    std::call_once(installed,
                   [] { pugi::set_memory_management_functions(allocateForXml, deallocateForXml); });
}

}  // namespace ondu
