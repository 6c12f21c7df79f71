#pragma once
// A synthetic meandering river written as a GeoPackage, for tests, benchmarks and
// demonstrations: a centerline with measures, its segments with the attributes the morphology
// tools read, the channel boundary, reference points, and the empty layers the tools fill.
//
// The centerline is a sine-generated curve: its direction at distance s along the channel is
// θ(s) = ω·sin(2πs/λ) (radians, 0 = the +X axis), the plan form that real meanders follow most
// closely. λ is the wavelength measured along the channel and ω the largest deflection from the
// valley axis, derived from the requested amplitude. The river starts at the origin, at the apex
// of a bend, heading along +X (the valley axis lies `amplitude` to its left) and turning left;
// it is digitised downstream.
//
// Layers, each with the feature id column "fid" (GDAL's default) and the geometry column
// "SHAPE" (the name the tools give to spatial queries):
// - "CenterLine": one LineString M, measures from 0 at the start to `length` at the end.
// - "CenterlineSegments": LineStrings chained end to end, with Measure (the measure at the
//   segment's midpoint, as the interpolate-attributes tool writes it), Width, BankElev, Depth
//   (Double) and FromLine, ToLine (Long: fid of the upstream / downstream neighbour, -9999 at
//   the ends). Fids run 1, 2, ... downstream.
// - "ChannelBoundary": one Polygon: the left bank downstream, the centerline's end, the right
//   bank upstream, the centerline's start.
// - "ReferencePoints": Points on the centerline with Measure, BankElev and Depth.
// - "Thalweg" and "CrossSections": empty LineString Z layers without attribute fields; the tools
//   that fill them add their fields.
// - "GaugingStations": Points digitised beside the centerline, alternately left and right of it,
//   within snapping reach (15 beyond the bank).
// - "SurveyPoints": Points spread across the channel, with empty S and N (Double) fields for
//   their (s,n) coordinates.
// - "SurveyCrossSections": LineString Z sections surveyed across the channel from the left bank
//   to the right one, with Measure (Double): the bed is a parabola whose lowest vertex lies
//   towards the outer bank of each bend.
// - "BedPoints" (only with a bathymetry cell size): Points of that bed, nine across the channel
//   every quarter width along it, with BedElev (Double); and beside the GeoPackage the bed as a
//   one-band GeoTIFF "<name>-bathymetry.tif" over the boundary's extent and 200 beyond, the
//   ground outside the banks rising from the bank elevation by 1 in 50.

#include <string>

namespace ondu {

/// Shape and attributes of a sample river. Lengths, widths, depths and elevations are in the
/// units of the coordinate system (metres for the default).
struct SampleRiverOptions {
    double length = 10000;        ///< centerline length; also its measure at the downstream end
    double wavelength = 2000;     ///< channel length of one meander (one left and one right bend)
    double amplitude = 300;       ///< largest distance of the centerline from the valley axis;
                                  ///< 0 gives a straight river; at most about 0.197·wavelength
    double segmentLength = 100;   ///< length of the centerline segments (the last one takes the
                                  ///< remainder, between 0.5 and 1.5 segment lengths)
    double width = 40;            ///< channel width, bank to bank
    double bankElevation = 100;   ///< bank elevation at the upstream end
    double slope = 0.0005;        ///< fall of the bank per unit length downstream (may be 0)
    double depth = 3;             ///< channel depth below the bank
    int referencePointCount = 5;  ///< points spread evenly, none at the ends (may be 0)
    double vertexSpacing = 5;     ///< largest distance between centerline vertices (shortened
                                  ///< so that equal spacings fill `length` exactly)
    int epsg = 32617;             ///< EPSG code of a projected coordinate system
    double originX = 500000;      ///< start of the centerline
    double originY = 4000000;
    int gaugingStationCount = 3;       ///< gauging stations spread evenly (may be 0)
    int surveyPointCount = 20;         ///< survey points spread evenly (may be 0)
    double crossSectionSpacing = 100;  ///< distance between surveyed cross-sections along the
                                       ///< channel; 0 for none
    double bathymetryCellSize = 0;     ///< cell size of the bed raster, written with the bed
                                       ///< points; 0 for neither
};

/// Writes the sample river to a new GeoPackage at `gpkgPath`, replacing any file there, in one
/// transaction. Throws std::invalid_argument, naming the option, when an option is out of range:
/// a length, wavelength, segment length, width or vertex spacing that is not a positive number;
/// a negative amplitude, depth or cross-section spacing, a reference point, gauging station or
/// survey point count outside 0 to a million, a cross-section spacing that would give more than
/// a million sections, a negative bathymetry cell size or one giving more than 20 million
/// cells, or an amplitude beyond the largest a non-looping meander reaches; a width
/// at which the banks of the bends overlap; an EPSG code that is not a projected system; more
/// than a million segments or ten million vertices. The message begins with the option's member
/// name and " must be ". Nothing is touched on disk then. Throws HostError when the file cannot
/// be written; no partial file is left behind.
void writeSampleRiver(const std::string& gpkgPath, const SampleRiverOptions& options);

}  // namespace ondu

namespace ondu {

/// The terrain of a valley around the sample river: a floor that runs along the valley axis
/// (the +X direction, `amplitude` to the left of the river's start), 0.5 below the bank at the
/// start and falling 1.25 x slope per unit of X (the river's own fall over its length along the
/// valley, for meanders of the usual sinuosity), flat across `amplitude` + width + 100 on either
/// side of the axis, and rising 1 in 20 beyond.
double sampleValleyElevation(const SampleRiverOptions& options, double x, double y);

/// The valley written twice from sampleValleyElevation: a one-band 32-bit float raster of
/// `cellSize` cells (a GeoTIFF at `rasterPath`) and a TIN of mass points 4 cells apart (a
/// GeoPackage at `tinPath`), both over the river plus 1000 on every side, in the river's
/// coordinate system. Files already there are replaced. Throws std::invalid_argument for a cell
/// size that is not positive or would give more than 10^8 cells, HostError when a file cannot
/// be written.
void writeSampleValley(const std::string& rasterPath, const std::string& tinPath,
                       const SampleRiverOptions& options, double cellSize);

}  // namespace ondu
