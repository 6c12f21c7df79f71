#pragma once
// Every GeoPackage a test writes is checked with GDAL's GeoPackage validator before its scratch
// folder goes, so that no store the tools write breaks the format's requirements unnoticed.

#include <filesystem>

namespace ondu::test {

/// Runs the validator over every GeoPackage below `folder` and adds a test failure naming each
/// file it rejects, with the validator's words.
void expectValidGeoPackages(const std::filesystem::path& folder);

}  // namespace ondu::test
