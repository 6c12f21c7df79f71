#pragma once
// The `render` and `plot` sub-commands of the command-line host: a map of the channel layers,
// cross-section plots and longitudinal profiles, as PNG, SVG or PDF.

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/host/map_document.h"
#include "framework/pictures/map_picture.h"
#include "framework/pictures/plots.h"

namespace ondu::cli {

/// The host's own ways of opening maps and applying `--select`, so that pictures read a map
/// exactly as `run` does. Both throw UsageError on bad input.
struct PictureHost {
    std::function<std::unique_ptr<MapDocument>(const std::vector<std::string>&)> openMaps;
    std::function<void(MapDocument&, const std::string&)> applySelection;
};

class PictureCommands {
public:
    /// Adds `render` and `plot` (with `section` and `profile`) to the application.
    PictureCommands(CLI::App& app, PictureHost host);

    /// Whether the parsed command line names one of these sub-commands.
    bool chosen() const;
    /// Draws the chosen picture: kCompleted, or throws UsageError for bad options and RunRefused
    /// naming the layer for a picture that would show nothing.
    int run();

private:
    struct Common {
        std::vector<std::string> maps, selects;
        std::string out;
        std::string size;
    };
    void addCommon(CLI::App* command, Common& common, const std::string& defaultSize);
    std::unique_ptr<MapDocument> openMap(const Common& common) const;

    PictureHost host_;
    CLI::App* render_ = nullptr;
    CLI::App* section_ = nullptr;
    CLI::App* profile_ = nullptr;
    Common renderCommon_, sectionCommon_, profileCommon_;
    std::string extent_;
    pictures::MapPictureOptions map_;
    pictures::SectionPlotOptions sectionOptions_;
    long long fid_ = 0;
    pictures::ProfilePlotOptions profileOptions_;
};

}  // namespace ondu::cli
