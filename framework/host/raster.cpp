// Raster workspaces, datasets and bands on GDAL: a workspace is a folder, a dataset a one-band
// GeoTIFF "<name>.tif" in it (any raster GDAL reads opens by its file name too), found again by
// folder and name.

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>

#include "framework/host/gdal_support.h"
#include "framework/host_operations.h"

namespace ondu {

namespace fs = std::filesystem;

namespace {

GDALDataType gdalTypeOf(PixelType type) {
    switch (type) {
        case PixelType::UChar:
            return GDT_Byte;
        case PixelType::Short:
            return GDT_Int16;
        case PixelType::Long:
            return GDT_Int32;
        case PixelType::Float:
            return GDT_Float32;
        case PixelType::Double:
            return GDT_Float64;
    }
    throw HostError("unknown pixel type " + std::to_string(static_cast<int>(type)));
}

PixelType pixelTypeOf(GDALDataType type) {
    switch (type) {
        case GDT_Byte:
            return PixelType::UChar;
        case GDT_Int16:
            return PixelType::Short;
        case GDT_Int32:
        case GDT_UInt16:
            return PixelType::Long;
        case GDT_Float32:
            return PixelType::Float;
        default:
            return PixelType::Double;
    }
}

/// The file a dataset name stands for: the name itself when it has an extension, else
/// "<name>.tif".
std::string fileNameOf(const std::string& name) {
    return fs::path(name).has_extension() ? name : name + ".tif";
}

/// Datasets that are not permanent, deleted when the process ends.
class SessionRasters {
public:
    static SessionRasters& instance() {
        static SessionRasters rasters;
        return rasters;
    }
    void add(const std::string& path) {
        std::lock_guard lock(mutex_);
        paths_.insert(path);
    }
    ~SessionRasters() {
        std::error_code ignored;
        for (const auto& path : paths_) fs::remove(path, ignored);
    }

private:
    std::mutex mutex_;
    std::set<std::string> paths_;
};

class GdalRasterBand : public IRasterBand {
public:
    explicit GdalRasterBand(GDALRasterBand* band) : band_(band) {}

    std::vector<double> readBlock(int column, int row, int columns, int rows) override {
        std::vector<double> values(static_cast<std::size_t>(columns) * rows);
        if (band_->RasterIO(GF_Read, column, row, columns, rows, values.data(), columns, rows,
                            GDT_Float64, 0, 0, nullptr) != CE_None)
            failWithGdalError("cannot read raster cells");
        return values;
    }

    void writeBlock(int column, int row, int columns, int rows,
                    const std::vector<double>& values) override {
        if (values.size() != static_cast<std::size_t>(columns) * rows)
            throw HostError("a block of " + std::to_string(columns) + " x " + std::to_string(rows) +
                            " cells needs as many values");
        if (band_->RasterIO(GF_Write, column, row, columns, rows,
                            const_cast<double*>(values.data()), columns, rows, GDT_Float64, 0, 0,
                            nullptr) != CE_None)
            failWithGdalError("cannot write raster cells");
    }

    std::optional<double> noData() const override {
        int has = 0;
        const double value = band_->GetNoDataValue(&has);
        if (!has) return std::nullopt;
        return value;
    }

    void setNoData(double value) override {
        if (band_->SetNoDataValue(value) != CE_None)
            failWithGdalError("cannot set the no-data value");
    }

private:
    GDALRasterBand* band_;
};

class GdalRasterDataset : public IRasterDataset {
public:
    /// `writingPath` differs from `path` for a new dataset until it is saved.
    GdalRasterDataset(GDALDataset* dataset, std::string path, std::string writingPath)
        : dataset_(dataset), path_(std::move(path)), writingPath_(std::move(writingPath)) {
        for (int i = 1; i <= dataset_->GetRasterCount(); ++i)
            bands_.emplace_back(dataset_->GetRasterBand(i));
        if (dataset_->GetGeoTransform(transform_) != CE_None) {
            // A raster without georeferencing: cells of one unit with row 0 on top.
            const double plain[6] = {0, 1, 0, static_cast<double>(dataset_->GetRasterYSize()),
                                     0, -1};
            std::copy(std::begin(plain), std::end(plain), transform_);
        }
    }

    ~GdalRasterDataset() override {
        if (!dataset_) return;
        GDALClose(dataset_);
        std::error_code ignored;
        if (writingPath_ != path_) fs::remove(writingPath_, ignored);  // never saved
    }

    std::string name() const override { return fs::path(path_).stem().string(); }
    std::string folder() const override { return fs::path(path_).parent_path().string(); }
    int columns() const override { return open().GetRasterXSize(); }
    int rows() const override { return open().GetRasterYSize(); }
    double cellWidth() const override { return transform_[1]; }
    double cellHeight() const override { return std::abs(transform_[5]); }
    Point origin() const override { return {transform_[0], transform_[3] - rows() * cellHeight()}; }
    PixelType pixelType() const override {
        return pixelTypeOf(open().GetRasterBand(1)->GetRasterDataType());
    }
    std::string spatialReference() const override { return wktOf(open().GetSpatialRef()); }
    int bandCount() const override { return static_cast<int>(bands_.size()); }
    IRasterBand& band(int index) override {
        open();
        if (index < 0 || index >= bandCount())
            throw HostError("the raster " + name() + " has no band " + std::to_string(index));
        return bands_[static_cast<std::size_t>(index)];
    }

    void save() override {
        GDALDataset& dataset = open();
        CPLErrorReset();
        dataset.FlushCache(false);
        GDALClose(std::exchange(dataset_, nullptr));
        if (CPLGetLastErrorType() >= CE_Failure)
            failWithGdalError("cannot write the raster " + path_);
        if (writingPath_ != path_) {
            std::error_code error;
            fs::rename(writingPath_, path_, error);
            if (error)
                throw HostError("cannot put the raster " + path_ + " in place: " + error.message());
            writingPath_ = path_;
        }
    }

private:
    GDALDataset& open() const {
        if (!dataset_) throw HostError("the raster " + path_ + " is closed");
        return *dataset_;
    }

    GDALDataset* dataset_;
    std::string path_;
    std::string writingPath_;
    double transform_[6] = {};
    std::vector<GdalRasterBand> bands_;
};

class FolderRasterWorkspace : public IRasterWorkspace {
public:
    explicit FolderRasterWorkspace(std::string folder) : folder_(std::move(folder)) {}

    std::string folder() const override { return folder_; }

    bool exists(const std::string& name) const override {
        return fs::is_regular_file(pathOf(name));
    }

    RasterDatasetPtr openDataset(const std::string& name) override {
        const std::string path = pathOf(name);
        if (!fs::is_regular_file(path)) throw HostError("no raster " + name + " in " + folder_);
        CPLErrorReset();
        GDALDataset* dataset = GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE);
        if (!dataset)  // a raster that may only be read
            dataset = GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR);
        if (!dataset) failWithGdalError("cannot open the raster " + path);
        return std::make_shared<GdalRasterDataset>(dataset, path, path);
    }

    RasterDatasetPtr createDataset(const RasterSpec& spec) override {
        checkSpec(spec);
        const std::string path = pathOf(spec.name);
        if (fs::exists(path)) throw HostError("a raster " + spec.name + " exists in " + folder_);
        const std::string writingPath =
            (fs::path(folder_) /
             ("." + spec.name + "-" + std::to_string(::getpid()) + ".partial.tif"))
                .string();
        GDALDataset* dataset = createGeoTiff(writingPath, spec);
        auto raster = std::make_shared<GdalRasterDataset>(dataset, path, writingPath);
        if (!spec.permanent) SessionRasters::instance().add(path);
        return raster;
    }

    void remove(const std::string& name) override {
        const std::string path = pathOf(name);
        if (!fs::is_regular_file(path)) throw HostError("no raster " + name + " in " + folder_);
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        if (driver->Delete(path.c_str()) != CE_None)
            failWithGdalError("cannot delete the raster " + path);
    }

private:
    std::string pathOf(const std::string& name) const {
        return (fs::path(folder_) / fileNameOf(name)).string();
    }

    static void checkSpec(const RasterSpec& spec) {
        if (spec.format != "GRID" && spec.format != "GTiff" && spec.format != "TIFF")
            throw HostError("unknown raster format " + spec.format);
        if (spec.name.empty() || spec.name.find_first_of("/\\") != std::string::npos)
            throw HostError("\"" + spec.name + "\" is not a raster name");
        if (spec.columns <= 0 || spec.rows <= 0)
            throw HostError("a raster needs at least one column and one row");
        if (!(spec.cellWidth > 0) || !(spec.cellHeight > 0))
            throw HostError("raster cells need a positive size");
    }

    static GDALDataset* createGeoTiff(const std::string& path, const RasterSpec& spec) {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        if (!driver) failWithGdalError("GDAL has no GeoTIFF driver");
        const char* options[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256",
                                 "BIGTIFF=IF_SAFER", nullptr};
        CPLErrorReset();
        GDALDataset* dataset =
            driver->Create(path.c_str(), spec.columns, spec.rows, 1, gdalTypeOf(spec.pixelType),
                           const_cast<char**>(options));
        if (!dataset) failWithGdalError("cannot create the raster " + path);
        double transform[6] = {
            spec.origin.x,   spec.cellWidth, 0, spec.origin.y + spec.rows * spec.cellHeight, 0,
            -spec.cellHeight};
        const auto srs = spatialReferenceOfWkt(spec.spatialReference);
        const bool ok = dataset->SetGeoTransform(transform) == CE_None &&
                        (!srs || dataset->SetSpatialRef(srs.get()) == CE_None);
        if (!ok) {
            GDALClose(dataset);
            std::error_code ignored;
            fs::remove(path, ignored);
            failWithGdalError("cannot georeference the raster " + path);
        }
        return dataset;
    }

    std::string folder_;
};

/// Bilinear between the four nearest cell centres of one band, held in memory.
class RasterSurface : public ISurface {
public:
    RasterSurface(IRasterDataset& dataset, int band)
        : columns_(dataset.columns()),
          rows_(dataset.rows()),
          cellWidth_(dataset.cellWidth()),
          cellHeight_(dataset.cellHeight()),
          extent_(dataset.extent()) {
        IRasterBand& cells = dataset.band(band);
        values_ = cells.readBlock(0, 0, columns_, rows_);
        if (const auto noData = cells.noData())
            for (double& v : values_)
                if (v == *noData) v = kNaN;
    }

    double elevation(double x, double y) const override {
        if (!(x >= extent_.xMin && x <= extent_.xMax && y >= extent_.yMin && y <= extent_.yMax))
            return kNaN;
        const auto [c0, tx] = cellAndWeight((x - extent_.xMin) / cellWidth_ - 0.5, columns_);
        const auto [r0, ty] = cellAndWeight((extent_.yMax - y) / cellHeight_ - 0.5, rows_);
        double sum = 0;
        for (int dr = 0; dr <= 1; ++dr) {
            const double wy = dr ? ty : 1 - ty;
            for (int dc = 0; dc <= 1; ++dc) {
                const double w = wy * (dc ? tx : 1 - tx);
                if (w == 0) continue;  // a cell that takes no part may lack data
                sum += w * values_[static_cast<std::size_t>(r0 + dr) * columns_ + c0 + dc];
            }
        }
        return sum;  // NaN when any cell that takes part has no data
    }

private:
    /// The first of the two cells to blend and the weight of the second, from a position in
    /// cell-centre units; the outer half cells take their cell's value.
    static std::pair<int, double> cellAndWeight(double position, int count) {
        if (count == 1) return {0, 0.0};
        position = std::clamp(position, 0.0, static_cast<double>(count - 1));
        const int first = std::min(static_cast<int>(position), count - 2);
        return {first, position - first};
    }

    int columns_, rows_;
    double cellWidth_, cellHeight_;
    Envelope extent_;
    std::vector<double> values_;
};

}  // namespace

std::unique_ptr<IRasterWorkspace> openRasterWorkspace(const std::string& folder) {
    GDALAllRegister();
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error))
        throw HostError("the folder " + folder + " does not exist");
    return std::make_unique<FolderRasterWorkspace>(folder);
}

std::shared_ptr<ISurface> rasterSurface(RasterDatasetPtr dataset, int band) {
    if (!dataset) throw HostError("Object variable or With block variable not set", 91);
    return std::make_shared<RasterSurface>(*dataset, band);
}

}  // namespace ondu
