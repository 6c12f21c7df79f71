#pragma once
// The channel data model every tool shares: the layer roles with the names the dialogs propose,
// the attribute fields several tools read and write, the shape-kind codes of the layer lists and
// the rule that links the lines of a chain.
//
// Layers are found by display name, compared exactly; nothing else ties the layers together.

#include <string>
#include <string_view>

#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu::channel {

/// Shape kinds by which layer lists are filled (the host's codes).
enum class ShapeKind : int {
    Point = 1,
    Polygon = 4,
    Polyline = 13,
};

/// A role a layer plays: the name a dialog proposes for it, its shape kind, and whether the
/// dialog lists only classes carrying Z or M values for it.
struct LayerRole {
    std::string_view defaultName;
    ShapeKind shape;
    bool needZ = false;
    bool needM = false;
};

/// The centerline as the measure and trapezoidal-section tools propose it; the measure tool
/// lists only measured classes (see kMeasuredCenterline).
inline constexpr LayerRole kCenterline{"Centerline", ShapeKind::Polyline};
inline constexpr LayerRole kMeasuredCenterline{"Centerline", ShapeKind::Polyline, false, true};
/// The centerline as the splitting and reach tools spell it.
inline constexpr LayerRole kCenterLine{"CenterLine", ShapeKind::Polyline};
inline constexpr LayerRole kCenterlineSegments{"CenterlineSegments", ShapeKind::Polyline};
inline constexpr LayerRole kChannelBoundary{"ChannelBoundary", ShapeKind::Polygon};
inline constexpr LayerRole kBoundarySegments{"BoundarySegments", ShapeKind::Polyline};
inline constexpr LayerRole kThalweg{"Thalweg", ShapeKind::Polyline, true};
inline constexpr LayerRole kCrossSections{"CrossSections", ShapeKind::Polyline, true};
inline constexpr LayerRole kProfileLines{"ProfileLines", ShapeKind::Polyline, true};
/// Reach lines; the reach tool writes them into measured classes only (kMeasuredReach).
inline constexpr LayerRole kReach{"Reach", ShapeKind::Polyline};
inline constexpr LayerRole kMeasuredReach{"Reach", ShapeKind::Polyline, false, true};
inline constexpr LayerRole kReferencePoints{"ReferencePoints", ShapeKind::Point};
/// Gauging stations and other surveyed points have no proposed name.
inline constexpr LayerRole kInputPoints{"", ShapeKind::Point};

/// An attribute field several tools share: its name and the type it is created with when a
/// class lacks it (a field of that name that exists is reused whatever its type).
struct SharedField {
    std::string_view name;
    FieldType type;
};

/// The reach identifier: read as the user's data holds it, never created.
inline constexpr std::string_view kHydroCode = "HydroCode";
inline constexpr SharedField kReachName{"ReachName", FieldType::String};
inline constexpr SharedField kRiverName{"RiverName", FieldType::String};
inline constexpr SharedField kStationNo{"StationNo", FieldType::Double};
inline constexpr SharedField kDistanceDS{"DistanceDS", FieldType::Double};
/// Object identifier of the line whose end touches this line's start (kNoLink when none).
inline constexpr SharedField kFromLine{"FromLine", FieldType::Integer};
/// Object identifier of the line whose start touches this line's end (kNoLink when none).
inline constexpr SharedField kToLine{"ToLine", FieldType::Integer};
inline constexpr SharedField kMeasure{"Measure", FieldType::Double};
inline constexpr SharedField kWidth{"Width", FieldType::Double};
inline constexpr SharedField kBankElev{"BankElev", FieldType::Double};
inline constexpr SharedField kDepth{"Depth", FieldType::Double};

/// The link value of a chain end: the first line has it as FromLine, the last as ToLine.
inline constexpr long long kNoLink = -9999;

/// Where a line end lies for linking: X and Y each written with three decimals ("0.000",
/// halves away from zero). Two ends link when their keys are equal, so ends that differ only
/// beyond the third decimal link (1.0004 and 0.9996 both give "1.000") while ends that round
/// apart never do, however close (1.0004 and 1.0006).
struct LinkKey {
    std::string x;
    std::string y;

    bool operator==(const LinkKey&) const = default;
};

/// The link key of a line end. Throws std::invalid_argument for an empty point: a line without
/// vertices has no ends to link.
LinkKey linkKey(const Point& end);

/// Whether a line ending at `end` links to a line starting at `start`.
bool linksTo(const Point& end, const Point& start);

}  // namespace ondu::channel
