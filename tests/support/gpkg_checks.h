#pragma once
// Checks of a written GeoPackage beyond what OGR reads back: GDAL's validator, SQLite's own
// integrity checks, and plain queries for comparing a file's tables before and after a change.

#include <filesystem>
#include <string>

namespace ondu::test {

/// What GDAL's GeoPackage validator (python3-gdal, run with its extra checks and warnings
/// counted as errors) finds wrong with the file; empty when nothing. The file must be closed.
std::string validatorFindings(const std::filesystem::path& file);

/// SQLite's integrity check and the check of every R-tree spatial index of the file, joined;
/// "ok" when every check answers so.
std::string integrityFindings(const std::filesystem::path& file);

/// The rows of a query on the file, one line each, values separated by "|" (NULL for null).
std::string queryRows(const std::filesystem::path& file, const std::string& sql);

}  // namespace ondu::test
