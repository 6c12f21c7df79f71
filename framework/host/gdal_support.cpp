#include "framework/host/gdal_support.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include "framework/host_operations.h"

namespace ondu {

void failWithGdalError(const std::string& what) {
    const char* detail = CPLGetLastErrorMsg();
    throw HostError(detail && *detail ? what + ": " + detail : what);
}

std::string wktOf(const OGRSpatialReference* srs) {
    if (!srs) return {};
    char* wkt = nullptr;
    std::string text;
    if (srs->exportToWkt(&wkt) == OGRERR_NONE && wkt) text = wkt;
    CPLFree(wkt);
    return text;
}

std::unique_ptr<OGRSpatialReference> spatialReferenceOfWkt(const std::string& wkt) {
    if (wkt.empty()) return nullptr;
    auto srs = std::make_unique<OGRSpatialReference>();
    if (srs->importFromWkt(wkt.c_str()) != OGRERR_NONE)
        throw HostError("the spatial reference cannot be read: " + wkt.substr(0, 60));
    return srs;
}

}  // namespace ondu
