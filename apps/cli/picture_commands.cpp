#include "apps/cli/picture_commands.h"

#include <charconv>
#include <iostream>

#include "apps/cli/cli_host.h"
#include "framework/number_text.h"

namespace ondu::cli {

namespace {

/// "WxH" in whole pixels; a usage error names the option otherwise.
std::pair<int, int> parseSize(const std::string& text) {
    const auto x = text.find_first_of("xX");
    int w = 0, h = 0;
    const char* end = text.data() + text.size();
    const bool ok = x != std::string::npos &&
                    std::from_chars(text.data(), text.data() + x, w).ptr == text.data() + x &&
                    std::from_chars(text.data() + x + 1, end, h).ptr == end && w > 0 && h > 0 &&
                    w <= 20000 && h <= 20000;
    if (!ok) throw UsageError("--size " + text + ": expected WIDTHxHEIGHT in pixels, up to 20000");
    return {w, h};
}

pictures::Extent parseExtent(const std::string& text) {
    std::vector<double> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        auto value = parseNumber(std::string_view(text).substr(start, comma - start));
        if (!value) break;
        values.push_back(*value);
        start = comma + 1;
    }
    if (values.size() != 4 || !(values[0] < values[2]) || !(values[1] < values[3]))
        throw UsageError("--extent " + text + ": expected xmin,ymin,xmax,ymax with min < max");
    return {values[0], values[1], values[2], values[3]};
}

}  // namespace

void PictureCommands::addCommon(CLI::App* command, Common& common, const std::string& defaultSize) {
    common.size = defaultSize;
    command->add_option("--map", common.maps, "map document (.json) or vector dataset")
        ->required()
        ->allow_extra_args(false);
    command->add_option("--out", common.out, "picture to write: .png, .svg or .pdf")->required();
    command->add_option("--size", common.size, "WIDTHxHEIGHT in pixels (points for SVG, PDF)")
        ->capture_default_str();
    command
        ->add_option("--select", common.selects,
                     "LAYER=WHERE or LAYER=FID,FID...: features to highlight or to plot")
        ->allow_extra_args(false);
}

PictureCommands::PictureCommands(CLI::App& app, PictureHost host) : host_(std::move(host)) {
    render_ = app.add_subcommand("render", "Draw a map of the layers as PNG, SVG or PDF");
    addCommon(render_, renderCommon_, "1200x900");
    render_->add_option("--layer", map_.layers, "layer to draw, in display order (default: all)")
        ->allow_extra_args(false);
    render_->add_option("--extent", extent_, "xmin,ymin,xmax,ymax: the part of the map to show");

    auto* plot = app.add_subcommand("plot", "Plot cross-sections or longitudinal profiles");
    plot->require_subcommand(1);
    section_ = plot->add_subcommand("section", "Station against elevation of cross-sections");
    addCommon(section_, sectionCommon_, "1000x600");
    section_->add_option("--layer", sectionOptions_.layer, "cross-section layer")
        ->capture_default_str();
    auto* fid = section_->add_option("--fid", fid_, "the cross-section's object id");
    section_->add_option("--where", sectionOptions_.where, "the cross-sections meeting a condition")
        ->excludes(fid);
    section_
        ->add_option("--levels", sectionOptions_.levels,
                     "water levels: a profile-line layer (crossings) or a flow table")
        ->allow_extra_args(false);
    section_
        ->add_option("--station-field", sectionOptions_.stationField,
                     "section field matched against the flow table")
        ->capture_default_str();
    section_
        ->add_option("--table-id-field", sectionOptions_.tableIdField,
                     "flow-table field naming the cross-section")
        ->capture_default_str();
    section_
        ->add_option("--table-level-field", sectionOptions_.tableLevelField,
                     "flow-table field holding the water-surface elevation")
        ->capture_default_str();

    profile_ = plot->add_subcommand("profile", "Elevation against distance along lines");
    addCommon(profile_, profileCommon_, "1000x600");
    profile_->add_option("--layer", profileOptions_.layers, "line layer(s) to plot")
        ->allow_extra_args(false);
    profile_->add_option("--measure", profileOptions_.measureField,
                         "field holding where the middle of each line lies along the river");
    profile_->add_option("--elevation", profileOptions_.elevationField,
                         "field holding the elevation of lines without Z (BankElev)");
}

bool PictureCommands::chosen() const {
    return render_->parsed() || section_->parsed() || profile_->parsed();
}

std::unique_ptr<MapDocument> PictureCommands::openMap(const Common& common) const {
    auto map = host_.openMaps(common.maps);
    for (const auto& s : common.selects) host_.applySelection(*map, s);
    return map;
}

int PictureCommands::run() {
    const Common& common =
        render_->parsed() ? renderCommon_ : (section_->parsed() ? sectionCommon_ : profileCommon_);
    const auto [width, height] = parseSize(common.size);
    try {
        pictures::formatOf(common.out);
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--out ") + e.what());
    }
    if (render_->parsed() && !extent_.empty()) map_.extent = parseExtent(extent_);
    if (section_->parsed() && section_->count("--fid") + section_->count("--where") == 0)
        throw UsageError("plot section: name the cross-sections with --fid or --where");
    auto map = openMap(common);
    if (render_->parsed()) {
        map_.width = width, map_.height = height;
        pictures::renderMap(*map, map_, common.out);
    } else if (section_->parsed()) {
        sectionOptions_.width = width, sectionOptions_.height = height;
        if (section_->count("--fid")) sectionOptions_.fid = fid_;
        pictures::renderSectionPlot(*map, sectionOptions_, common.out);
    } else {
        profileOptions_.width = width, profileOptions_.height = height;
        pictures::renderProfilePlot(*map, profileOptions_, common.out);
    }
    std::cout << "Wrote " << common.out << '\n';
    return kCompleted;
}

}  // namespace ondu::cli
