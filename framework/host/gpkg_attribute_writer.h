#pragma once
// Attribute-only updates of GeoPackage rows, run on the SQLite connection GDAL opened.
//
// Rewriting a stored feature through OGR (SetFeature) also rewrites its shape, which fires the
// spatial index triggers for every row: a tool that only writes attributes over a whole layer
// pays for an R-tree update per feature. An UPDATE of the attribute columns alone touches
// neither the shape, the R-tree nor the feature count, and the triggers the file holds run
// inside SQLite as they would for GDAL's own statements. What GDAL would otherwise do on top is
// done here too (the table's last change in gpkg_contents); values whose writing GDAL shapes in
// its own way (dates, binary fields, text longer than its field or not in UTF-8) are left to
// OGR: the writer declines them and the caller rewrites the feature.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class GDALDataset;
class OGRFeature;
class OGRLayer;
struct sqlite3;
struct sqlite3_stmt;

namespace ondu {

class GpkgAttributeWriter {
public:
    /// The writer of a GeoPackage opened for update; nullptr for any other dataset, whose
    /// features are then written through OGR alone.
    static std::unique_ptr<GpkgAttributeWriter> forDataset(GDALDataset& dataset);

    explicit GpkgAttributeWriter(sqlite3* connection) : connection_(connection) {}
    ~GpkgAttributeWriter();
    GpkgAttributeWriter(const GpkgAttributeWriter&) = delete;
    GpkgAttributeWriter& operator=(const GpkgAttributeWriter&) = delete;

    /// Writes the OGR fields `fields` of the stored feature (identified by its FID) from
    /// `feature`. Answers false, having written nothing, where OGR has to write them (see the
    /// file comment; also for a layer without an identifier column or one SQLite cannot update,
    /// such as a view). Throws HostError naming the feature when the row is gone or SQLite
    /// refuses the update (a constraint).
    bool write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& fields);

    /// An edit transaction began or ended: the next write to a table stamps its last change
    /// again (a rolled-back stamp is gone with the rest).
    void editBoundary() { stamped_.clear(); }

private:
    sqlite3_stmt* updateStatement(OGRLayer& layer, const OGRFeature& feature,
                                  const std::vector<int>& fields);
    bool bindValues(sqlite3_stmt* statement, const OGRFeature& feature,
                    const std::vector<int>& fields);
    void stampLastChange(const char* table);

    sqlite3* connection_;
    /// Prepared updates by layer and fields: tools write the same fields of many features.
    std::map<std::pair<OGRLayer*, std::vector<int>>, sqlite3_stmt*> statements_;
    std::set<std::string, std::less<>> stamped_;  ///< tables whose last change is stamped
};

}  // namespace ondu
