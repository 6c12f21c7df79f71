#pragma once
// Create Thalweg: predicts the thalweg of a channel from the curvature of its centerline
// segments, writes the bend attributes on every segment and stores the thalweg as one new 3D
// line. The command opens the logarithmic-relation settings first; their OK opens this dialog.

#include <optional>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"
#include "morphology/log_relationship.h"

namespace ondu {

/// The point at `fraction` of the curve's length (clamped to its ends), moved `offset` across it
/// (positive to the right), Z-aware. A failure is reported ("Error in fnCreateThalwegPoint") and
/// gives no point.
std::optional<Point> CreateThalwegPoint(const Polyline& curve, double fraction, double offset);

class frmNewThaCur : public Dialog {
public:
    frmNewThaCur() : Dialog(declaration()) {}
    static const DialogDecl& declaration();

protected:
    void onLoad() override;
    void onClick(Control& control) override;

private:
    void fillFieldLists();
    void cmdOK_Click();
    void setStatus(const std::string& text);
    void setProgress(long value, std::optional<long> maximum = std::nullopt);
};

class clsThaCur : public ToolCommand<frmLogRel> {
public:
    clsThaCur() : ToolCommand("clsThaCur") {}
    std::vector<DialogEntry> dialogs() const override {
        return {dialogEntry<frmLogRel>(), dialogEntry<frmNewThaCur>()};
    }
};

}  // namespace ondu
