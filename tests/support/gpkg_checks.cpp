#include "support/gpkg_checks.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace ondu::test {

namespace {

/// The interpreter that carries GDAL's Python modules, whatever python3 comes first on PATH.
constexpr const char* kValidator =
    "/usr/bin/python3 -m osgeo_utils.samples.validate_gpkg --extra --warning-as-error -k ";

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct ConnectionCloser {
    void operator()(sqlite3* connection) const { sqlite3_close(connection); }
};

std::unique_ptr<sqlite3, ConnectionCloser> openReadOnly(const std::filesystem::path& file) {
    sqlite3* connection = nullptr;
    const int result = sqlite3_open_v2(file.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, ConnectionCloser> owned(connection);
    if (result != SQLITE_OK) throw std::runtime_error("cannot open " + file.string());
    return owned;
}

std::string rowsOf(sqlite3* connection, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot run " + sql + ": " + sqlite3_errmsg(connection));
    std::string rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            const auto* text = sqlite3_column_text(statement, column);
            rows += (column ? "|" : "");
            rows += text ? reinterpret_cast<const char*>(text) : "NULL";
        }
        rows += "\n";
    }
    sqlite3_finalize(statement);
    return rows;
}

}  // namespace

std::string validatorFindings(const std::filesystem::path& file) {
    const std::string command = kValidator + shellQuoted(file.string()) + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run the GeoPackage validator");
    std::string output;
    std::array<char, 4096> chunk{};
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe.get()))
        output.append(chunk.data(), got);
    const int status = pclose(pipe.release());
    if (status != 0 && output.empty()) output = "the validator failed without a word";
    return status == 0 ? std::string() : output;
}

std::string integrityFindings(const std::filesystem::path& file) {
    auto connection = openReadOnly(file);
    std::string findings = rowsOf(connection.get(), "PRAGMA integrity_check");
    const std::string indexes =
        rowsOf(connection.get(),
               "SELECT 'rtree_' || table_name || '_' || column_name FROM gpkg_extensions "
               "WHERE extension_name = 'gpkg_rtree_index'");
    for (std::size_t at = 0; at < indexes.size();) {
        const std::size_t end = indexes.find('\n', at);
        findings +=
            rowsOf(connection.get(), "SELECT rtreecheck('" + indexes.substr(at, end - at) + "')");
        at = end + 1;
    }
    return findings.find_first_not_of("ok\n") == std::string::npos ? "ok" : findings;
}

std::string queryRows(const std::filesystem::path& file, const std::string& sql) {
    auto connection = openReadOnly(file);
    return rowsOf(connection.get(), sql);
}

}  // namespace ondu::test
