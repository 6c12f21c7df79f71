#include "framework/xml_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

/// A document of `points` elements with four attributes each, as channel geometry has them.
std::string pointsXml(int points) {
    std::string xml = "<Points>";
    for (int i = 0; i < points; ++i) {
        xml += "<P X=\"" + std::to_string(i) + "\" Y=\"1.5\" Z=\"2&amp;3\" M=\"\"/>";
    }
    return xml + "</Points>";
}

/// Parses `xml` in place from a block the document takes over, as large files are read.
std::unique_ptr<pugi::xml_document> parseOwned(const std::string& xml) {
    auto* block = static_cast<char*>(pugi::get_memory_allocation_function()(xml.size()));
    std::memcpy(block, xml.data(), xml.size());
    auto document = std::make_unique<pugi::xml_document>();
    EXPECT_TRUE(document->load_buffer_inplace_own(block, xml.size(), pugi::parse_escapes));
    return document;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

TEST(XmlMemory, DocumentsFromBeforeAndAfterTheSwitchParseAndFreeCleanly) {
    auto before = std::make_unique<pugi::xml_document>();
    ASSERT_TRUE(before->load_string(pointsXml(2000).c_str()));
    ondu::useHugePagesForXmlDocuments();
    ondu::useHugePagesForXmlDocuments();
    auto after = parseOwned(pointsXml(2000));
    // Both documents stay intact while the other is alive and while blocks are added to them.
    before->first_child().append_child("Extra").append_attribute("Name") = "kept";
    after->first_child().last_child().attribute("M") = std::string(5000, 'm').c_str();
    EXPECT_STREQ(before->first_child().child("P").attribute("Z").value(), "2&3");
    EXPECT_STREQ(after->first_child().child("P").attribute("Z").value(), "2&3");
    EXPECT_EQ(std::strlen(after->first_child().last_child().attribute("M").value()), 5000u);
    before.reset();
    after.reset();
}

TEST(XmlMemory, LargeDocumentsMadeAgainAndAgainDoNotAccumulateMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine";
#endif
    ondu::useHugePagesForXmlDocuments();
    const std::string xml = pointsXml(200000);  // tens of MB of nodes and attributes
    parseOwned(xml).reset();
    const long settled = residentKb();
    for (int round = 0; round < 10; ++round) {
        auto document = parseOwned(xml);
        ASSERT_STREQ(document->first_child().last_child().attribute("X").value(), "199999");
    }
    EXPECT_LT(residentKb() - settled, 16 * 1024) << "kB still held after ten documents";
}

TEST(XmlMemory, DocumentsMadeOnSeveralThreadsAtOnceKeepTheirOwnContent) {
    ondu::useHugePagesForXmlDocuments();
    std::vector<std::thread> threads;
    std::vector<int> intact(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &intact] {
            for (int round = 0; round < 20; ++round) {
                auto document = parseOwned(pointsXml(500 + t));
                intact[t] +=
                    document->first_child().last_child().attribute("X").as_int() == 499 + t;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(intact, std::vector<int>(4, 20));
}

TEST(XmlMemory, BothMemoriesGiveAlignedBlocksAndTakeBackMallocOnes) {
    for (ondu::XmlMemory* memory : {&ondu::plainXmlMemory(), &ondu::fastestXmlMemory()}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{17},
                                 std::size_t{40000}, std::size_t{9} << 20}) {
            SCOPED_TRACE(size);
            auto* block = static_cast<unsigned char*>(memory->allocate(size));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
            std::memset(block, 0xA5, std::max<std::size_t>(size, 1));
            EXPECT_EQ(block[std::max<std::size_t>(size, 1) - 1], 0xA5);
            memory->deallocate(block);
        }
        memory->deallocate(std::malloc(64));  // a block pugixml took before the switch
        memory->deallocate(nullptr);
    }
}

TEST(XmlMemory, OnceEveryBlockIsFreedAtMostOneIdleRegionIsHeld) {
    ondu::XmlMemory& memory = ondu::fastestXmlMemory();
    std::vector<void*> blocks;
    for (int i = 0; i < 6; ++i) blocks.push_back(memory.allocate(std::size_t{12} << 20));
    for (int i = 0; i < 3000; ++i) blocks.push_back(memory.allocate(32 * 1024));
    EXPECT_TRUE(memory.heldBytes() == 0 || memory.heldBytes() >= std::size_t{160} << 20);
    for (void* block : blocks) memory.deallocate(block);
    EXPECT_LE(memory.heldBytes(), std::size_t{32} << 20);
}

}  // namespace
