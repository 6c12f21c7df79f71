#include "framework/xml_memory.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <pugixml.hpp>
#include <string>

// A sanitizer watches malloc's blocks; memory carved out of our own regions would escape it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ONDU_HEAP_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define ONDU_HEAP_SANITIZED 1
#endif
#endif

namespace ondu {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
/// pugixml asks for pages of 32 kB and for strings; a region serves a thousand such pages.
constexpr std::size_t kRegionBytes = std::size_t{32} << 20;
/// A block this large (a whole input file read for parsing in place) gets a region of its own.
constexpr std::size_t kOwnRegionFrom = kRegionBytes / 4;
constexpr std::size_t kAlignment = alignof(std::max_align_t);

/// The memory pugixml's hooks hand on to; null before installation and once it is destroyed at
/// exit.
std::atomic<XmlMemory*> installedMemory{nullptr};
/// Set when the arena is destroyed at exit: blocks freed after that (by documents that outlive
/// main) may lie in regions it left to them, which only the end of the process returns.
std::atomic<bool> arenaClosed{false};

void uninstall(XmlMemory* memory) { installedMemory.compare_exchange_strong(memory, nullptr); }

class PlainXmlMemory final : public XmlMemory {
public:
    ~PlainXmlMemory() override { uninstall(this); }
    void* allocate(std::size_t size) override { return std::malloc(size == 0 ? 1 : size); }
    void deallocate(void* block) override { std::free(block); }
    std::size_t heldBytes() const override { return 0; }
};

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
/// is freed and blocks are no longer taken from it. The region blocks are being taken from is
/// kept while it is idle, for the next document, and returned at exit.
class HugePageArena final : public XmlMemory {
public:
    ~HugePageArena() override {
        uninstall(this);
        arenaClosed = true;
        const std::lock_guard lock(mutex_);
        for (auto region = regions_.begin(); region != regions_.end();) {
            // A region with blocks in use belongs to a document that outlives main.
            region = region->second.live == 0 ? release(region) : std::next(region);
        }
    }

    void* allocate(std::size_t size) override {
        size = roundUp(size == 0 ? 1 : size, kAlignment);
        const std::lock_guard lock(mutex_);
        if (size >= kOwnRegionFrom) return takeFrom(newRegion(roundUp(size, kHugePage)), size);
        if (current_ == regions_.end() || current_->second.size - current_->second.used < size) {
            retireCurrent();
            current_ = newRegion(kRegionBytes);
        }
        return takeFrom(current_, size);
    }

    void deallocate(void* block) override {
        if (block == nullptr) return;
        const std::lock_guard lock(mutex_);
        auto region = regions_.upper_bound(static_cast<char*>(block));
        if (region == regions_.begin() ||
            static_cast<char*>(block) >=
                std::prev(region)->first + std::prev(region)->second.size) {
            std::free(block);  // taken from malloc: before installation, or when mapping failed
            return;
        }
        --region;
        if (--region->second.live > 0) return;
        if (region == current_)
            region->second.used = 0;  // blocks are taken afresh from the front
        else
            release(region);
    }

    std::size_t heldBytes() const override {
        const std::lock_guard lock(mutex_);
        std::size_t held = 0;
        for (const auto& [base, region] : regions_) held += region.size;
        return held;
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

    /// A block of the region, or one from malloc when the region could not be mapped.
    void* takeFrom(Regions::iterator region, std::size_t size) {
        if (region == regions_.end()) return std::malloc(size);
        char* block = region->first + region->second.used;
        region->second.used += size;
        ++region->second.live;
        return block;
    }

    void retireCurrent() {
        if (current_ != regions_.end() && current_->second.live == 0) release(current_);
        current_ = regions_.end();
    }

    Regions::iterator release(Regions::iterator region) {
        if (region == current_) current_ = regions_.end();
        munmap(region->first, region->second.size);
        return regions_.erase(region);
    }

    mutable std::mutex mutex_;
    Regions regions_;
    Regions::iterator current_ = regions_.end();
};

/// Whether the system backs anonymous memory with huge pages when asked to ("madvise" or
/// "always" in its transparent huge page setting).
bool hugePagesOnRequest() {
#if defined(MADV_HUGEPAGE) && !defined(ONDU_HEAP_SANITIZED)
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    return std::getline(setting, modes) && (modes.find("[madvise]") != std::string::npos ||
                                            modes.find("[always]") != std::string::npos);
#else
    return false;
#endif
}

void* allocateForXml(std::size_t size) {
    XmlMemory* memory = installedMemory.load();
    return memory ? memory->allocate(size) : std::malloc(size == 0 ? 1 : size);
}

void deallocateForXml(void* block) {
    XmlMemory* memory = installedMemory.load();
    if (memory)
        memory->deallocate(block);
    else if (!arenaClosed)
        std::free(block);
}

}  // namespace

XmlMemory& plainXmlMemory() {
    static PlainXmlMemory plain;
    return plain;
}

XmlMemory& fastestXmlMemory() {
    static const bool hugePages = hugePagesOnRequest();
    if (!hugePages) return plainXmlMemory();
    static HugePageArena arena;
    return arena;
}

void useHugePagesForXmlDocuments() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        installedMemory = &fastestXmlMemory();
        pugi::set_memory_management_functions(allocateForXml, deallocateForXml);
    });
}

}  // namespace ondu
