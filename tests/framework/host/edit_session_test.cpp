#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/host/host_application.h"
#include "framework/host/ogr_geometry.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

test::LayerSpec riverLayer() {
    return {.name = "Reach",
            .fields = {{"Measure", FieldType::Double}},
            .features = {{"LINESTRING (0 0,10 0)", {1.5}}, {"LINESTRING (10 0,20 0)", {2.5}}}};
}

/// Edits the map inside an edit session; the caller decides how the process ends.
void editReach(HostApplication& app) {
    app.editor().startEditing();
    auto& cls = *app.map().layer(0).asFeatureLayer()->featureClass();
    auto first = cls.getFeature(1);
    first->setValue(cls.findField("Measure"), 99.0);
    first->store();
    auto added = cls.createFeature();
    added->setShape(fromWkt("LINESTRING (20 0,30 0)"));
    added->store();
}

TEST(EditSession, KilledProcessLeavesTheDatasetAsItWasBeforeTheRun) {
    test::TempMap store({riverLayer()});
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HostApplication app(store.openMap());
        editReach(app);
        raise(SIGKILL);
        _exit(0);  // never reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    test::InstalledHost host(store.openMap());
    IFeatureLayer* reach = host.featureLayer("Reach");
    EXPECT_EQ(reach->featureClass()->featureCount(nullptr), 2);
    EXPECT_EQ(test::storedValue(reach, 1, "Measure"), FieldValue(1.5));
}

TEST(EditSession, SavedSessionKeepsEveryStoredEdit) {
    test::TempMap store({riverLayer()});
    {
        HostApplication app(store.openMap());
        editReach(app);
        EXPECT_EQ(app.editor().editState(), 1);
        app.editor().stopEditing(true);
        EXPECT_EQ(app.editor().editState(), 0);
    }
    test::InstalledHost host(store.openMap());
    IFeatureLayer* reach = host.featureLayer("Reach");
    EXPECT_EQ(reach->featureClass()->featureCount(nullptr), 3);
    EXPECT_EQ(test::storedValue(reach, 1, "Measure"), FieldValue(99.0));
}

}  // namespace
}  // namespace ondu
