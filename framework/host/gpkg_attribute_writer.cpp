#include "framework/host/gpkg_attribute_writer.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include "framework/host_operations.h"

namespace ondu {

namespace {

std::string quoted(const char* identifier) {
    std::string q = "\"";
    for (const char* c = identifier; *c; ++c)
        q += *c == '"' ? std::string("\"\"") : std::string(1, *c);
    return q + "\"";
}

/// Whether SQLite may store the field's value as bound here exactly as GDAL would store it.
bool writtenAsGdalWould(const OGRFeature& feature, int field) {
    if (feature.IsFieldNull(field)) return true;
    const OGRFieldDefn& defn = *feature.GetFieldDefnRef(field);
    switch (defn.GetType()) {
        case OFTInteger:
        case OFTInteger64:
        case OFTReal:
            return true;
        case OFTString: {
            // GDAL warns about, and may cut or recode, text too long for its field or not in
            // UTF-8: such values go its way.
            const char* text = feature.GetFieldAsString(field);
            return CPLIsUTF8(text, -1) &&
                   (defn.GetWidth() <= 0 || CPLStrlenUTF8(text) <= defn.GetWidth());
        }
        default:
            return false;
    }
}

}  // namespace

std::unique_ptr<GpkgAttributeWriter> GpkgAttributeWriter::forDataset(GDALDataset& dataset) {
    if (dataset.GetAccess() != GA_Update || !EQUAL(dataset.GetDriverName(), "GPKG")) return nullptr;
    auto* connection = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
    if (!connection) return nullptr;
    return std::make_unique<GpkgAttributeWriter>(connection);
}

GpkgAttributeWriter::~GpkgAttributeWriter() {
    for (auto& [key, statement] : statements_) sqlite3_finalize(statement);
}

sqlite3_stmt* GpkgAttributeWriter::updateStatement(OGRLayer& layer, const OGRFeature& feature,
                                                   const std::vector<int>& fields) {
    auto key = std::pair{&layer, fields};
    if (auto known = statements_.find(key); known != statements_.end()) return known->second;
    std::string sql = "UPDATE " + quoted(layer.GetName()) + " SET ";
    for (std::size_t i = 0; i < fields.size(); ++i)
        sql += (i ? "," : "") + quoted(feature.GetFieldDefnRef(fields[i])->GetNameRef()) + "=?";
    sql += " WHERE " + quoted(layer.GetFIDColumn()) + "=?";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return statements_[std::move(key)] = statement;
}

bool GpkgAttributeWriter::bindValues(sqlite3_stmt* statement, const OGRFeature& feature,
                                     const std::vector<int>& fields) {
    int slot = 1;
    for (int field : fields) {
        if (feature.IsFieldNull(field)) {
            sqlite3_bind_null(statement, slot++);
        } else if (feature.GetFieldDefnRef(field)->GetType() == OFTReal) {
            sqlite3_bind_double(statement, slot++, feature.GetFieldAsDouble(field));
        } else if (feature.GetFieldDefnRef(field)->GetType() == OFTString) {
            sqlite3_bind_text(statement, slot++, feature.GetFieldAsString(field), -1,
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(statement, slot++, feature.GetFieldAsInteger64(field));
        }
    }
    return sqlite3_bind_int64(statement, slot, feature.GetFID()) == SQLITE_OK;
}

bool GpkgAttributeWriter::write(OGRLayer& layer, const OGRFeature& feature,
                                const std::vector<int>& fields) {
    if (fields.empty() || !*layer.GetFIDColumn()) return false;
    for (int field : fields)
        if (!writtenAsGdalWould(feature, field)) return false;
    sqlite3_stmt* statement = updateStatement(layer, feature, fields);
    if (!statement) return false;
    const bool bound = bindValues(statement, feature, fields);
    const int result = bound ? sqlite3_step(statement) : SQLITE_MISUSE;
    const bool rowFound = result == SQLITE_DONE && sqlite3_changes(connection_) == 1;
    if (!rowFound) {
        const std::string reason =
            result == SQLITE_DONE ? "the feature is no longer there" : sqlite3_errmsg(connection_);
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        throw HostError("cannot store feature " + std::to_string(feature.GetFID()) + " of " +
                        layer.GetName() + ": " + reason);
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    stampLastChange(layer.GetName());
    return true;
}

void GpkgAttributeWriter::stampLastChange(const char* table) {
    if (stamped_.find(std::string_view(table)) != stamped_.end()) return;
    stamped_.emplace(table);
    // GDAL's own stamp, which honours OGR_CURRENT_DATE for reproducible files.
    const char* sql =
        "UPDATE gpkg_contents SET last_change = "
        "COALESCE(?1, strftime('%Y-%m-%dT%H:%M:%fZ','now')) WHERE lower(table_name) = lower(?2)";
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(connection_, sql, -1, &statement, nullptr);
    if (result == SQLITE_OK) {
        if (const char* fixed = CPLGetConfigOption("OGR_CURRENT_DATE", nullptr))
            sqlite3_bind_text(statement, 1, fixed, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, table, -1, SQLITE_TRANSIENT);
        result = sqlite3_step(statement);
    }
    const std::string reason = sqlite3_errmsg(connection_);
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) {
        stamped_.erase(stamped_.find(std::string_view(table)));
        throw HostError(std::string("cannot record the change of ") + table + ": " + reason);
    }
}

}  // namespace ondu
