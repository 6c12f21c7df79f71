#pragma once
// Small pieces shared by the GDAL-backed surfaces: failures that carry GDAL's own message, and
// spatial references to and from well-known text.

#include <memory>
#include <string>

class OGRSpatialReference;

namespace ondu {

/// Throws HostError with `what`, followed by ": " and GDAL's last error message when it has one.
[[noreturn]] void failWithGdalError(const std::string& what);

/// Well-known text of the spatial reference; empty for none.
std::string wktOf(const OGRSpatialReference* srs);

/// The spatial reference written as `wkt`; nullptr for empty text. Throws HostError for text
/// GDAL cannot read.
std::unique_ptr<OGRSpatialReference> spatialReferenceOfWkt(const std::string& wkt);

}  // namespace ondu
