#pragma once
// surfaceUtil: surfaces turned into rasters and back. A TIN is rasterized block by block with a
// progress that can be cancelled, a raster layer is wrapped as a surface that answers
// elevations, and a raster is interpolated from points by inverse distance weighting; around
// them, the raster workspaces (folders) and datasets of the host.
//
// Rasters are one-band GeoTIFFs found again by folder and name. Every raster written here is
// written under a temporary name and put under its own name once complete.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/host_operations.h"
#include "framework/ui.h"

namespace ondu::surfaceUtil {

/// The settings an interpolation honours: the extent and cell size of its grid, the mask that
/// limits it, the spatial reference and the workspace of its output.
struct AnalysisEnvironment {
    std::optional<Envelope> extent;
    double cellSize = 0;  ///< 0 while unset
    IFeatureClass* mask = nullptr;
    std::string spatialReference;
    std::unique_ptr<IRasterWorkspace> workspace;
};

/// `value` rounded to a whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
double roundHalfEven(double value);

/// The raster grid a TIN is rasterized onto: cells of `cellSize` whose centres run from the
/// extent's lower-left corner, so the grid reaches half a cell beyond the extent on every side,
/// with round(width / cellSize) + 1 columns and round(height / cellSize) + 1 rows (halves to
/// even). Throws HostError for an empty extent, a cell size that is not positive, or more than
/// a million cells along a side.
CellGrid TinRasterGrid(const Envelope& extent, double cellSize);

/// Rasterizes the TIN's elevations into a new one-band raster `name` in `folder` over
/// TinRasterGrid(extent, cellSize), with the TIN's spatial reference and the no-data value
/// lowest elevation - 1 (held as the pixel type holds it). Blocks of at most 2048 x 2048 cells
/// are sampled and written one at a time, from the top row of blocks and the left; `progress`
/// shows "Rasterizing. Press ESC to cancel..." and steps once per block. When it is cancelled
/// the run stops after the current block and answers nothing; the blocks written so far stay in
/// the raster, which keeps its name, the rest of its cells without data. Otherwise answers the
/// raster reopened by folder and name. Every rasterization type gives elevations. Failures
/// pass on (an incomplete raster is removed).
RasterDatasetPtr TinToRaster(ITin* tin, int rasterizationType, const std::string& folder,
                             const std::string& name, PixelType pixelType, double cellSize,
                             const Envelope& extent, bool permanent, IProgressBar& progress);

/// A new one-band raster `name` in `folder` with its lower-left corner at `origin`; "GRID" (and
/// "GTiff") give a GeoTIFF. It lives under a temporary name until IRasterDataset::save. One that
/// is not permanent is deleted when the process ends. Failures pass on.
RasterDatasetPtr CreateRasterDataset(const std::string& folder, const std::string& name,
                                     const std::string& format, const Point& origin, int columns,
                                     int rows, double cellWidth, double cellHeight,
                                     PixelType pixelType, const std::string& spatialReference,
                                     bool permanent);

/// Cell access to band `band` (from 0) of the dataset. Failures pass on.
IRasterBand& GetRawPixels(IRasterDataset& dataset, int band);

/// The folder as a raster workspace; nothing when it is not one.
std::unique_ptr<IRasterWorkspace> OpenRasterWorkspace(const std::string& folder);

/// The raster `name` in `folder`; nothing when there is none or it cannot be read.
RasterDatasetPtr OpenRasterDataset(const std::string& folder, const std::string& name);

/// The folder as a raster workspace when it is an existing folder, else nothing. A failure
/// shows "Failed in opening workspace " and its description, and answers nothing.
std::unique_ptr<IRasterWorkspace> GetRasterWorkspace(const std::string& folder);

/// The surface of a raster layer (its band 0, bilinear between cell centres); nothing for any
/// other layer, TIN layers included. Failures pass on.
std::shared_ptr<ISurface> GetSurfaceFromLayer(ILayer* layer);

/// A raster interpolated from the `field` values of every point of `pointLayer` (selections
/// play no part) by inverse distance weighting, power 2, over the 12 nearest points: over the
/// extent of `boundaryLayer`'s class from its lower-left corner, in cells of `cellSize` (as many
/// as cover the extent, at most 2^28), no-data outside its polygons, with its spatial
/// reference; points without a value are left out. Written into
/// `folder` as a one-band 32-bit floating-point raster named "IDW_" + field (a number added when
/// that name is taken) and answered as a new raster layer of that name. A failure shows "The
/// following error occurred: <description>." titled "SubInterpolate: <number>" and answers
/// nothing.
std::unique_ptr<IRasterLayer> SubInterpolate(const std::string& field, double cellSize,
                                             IFeatureLayer* pointLayer,
                                             IFeatureLayer* boundaryLayer,
                                             const std::string& folder);

/// Sets in `environment` (nothing happens without one) the extent when given, the cell size
/// when positive, the mask when given, the spatial reference when given, and the workspace
/// GetRasterWorkspace(folder) when the folder is not empty. A failure shows "Failed in setting
/// environment. " and its description.
void SetAnalysisEnvironment(AnalysisEnvironment* environment, const Envelope* extent,
                            double cellSize, IFeatureClass* mask, const std::string& folder,
                            const std::string* spatialReference);

/// Deletes the raster `name` in `folder`; true when it did. A failure (no such folder or raster,
/// a file that cannot be deleted) shows "The following error occurred: <description>." titled
/// "Kill: <number>" and answers false.
bool KillRaster(const std::string& folder, const std::string& name);

/// The raster workspace in which a raster is saved: GetRasterWorkspace under the name the
/// saving step calls it by (nothing when the folder is not one, the same message on failure).
std::unique_ptr<IRasterWorkspace> SetRasterWorkspace(const std::string& folder);

/// What CreateTinLyrFromGeometry adds of its geometries: kind 3 adds them as hard lines; kinds 1
/// (points) and 4 add none of them.
inline constexpr int kTinGeometryLines = 3;

/// A new TIN from `geometries` (hard lines with Z on every vertex when kind is
/// kTinGeometryLines, nothing of them otherwise), clipped to `boundary` when given, with the
/// spatial reference `spatialReference`, saved (replacing) at `path` and answered as a TIN layer
/// named as the file. `extent` is the area it is meant to cover: a TIN made of fewer than three
/// points gets none of it and the call throws HostError, as it does when the TIN cannot be saved.
std::unique_ptr<ITinLayer> CreateTinLyrFromGeometry(const std::vector<Polyline>& geometries,
                                                    int kind, const Envelope& extent,
                                                    const Polygon* boundary,
                                                    const std::string& spatialReference,
                                                    const std::string& path);

/// maputil::ShowCreatedLayer for a surface the run wrote at `path`: a raster (a GeoTIFF, ".tif")
/// or else a TIN (a GeoPackage), named as its file without the extension.
void ShowCreatedSurface(IDocument* document, const std::string& path);

}  // namespace ondu::surfaceUtil
