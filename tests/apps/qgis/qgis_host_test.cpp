// The QGIS host layer on a real QgsApplication and QgsProject, without a display: the toolbar
// and windows built from the declarations, the project as the map, runs through QGIS's edit
// buffers and a cancel through the status-bar progress.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <qgsapplication.h>
#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qgis_features.h"
#include "apps/qgis/qt_dialog.h"
#include "apps/qgis/qt_user_interface.h"
#include "apps/qgis/toolbar.h"
#include "framework/commands.h"
#include "framework/error_report.h"
#include "framework/file_helpers.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host/sample_river.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "morphology/thalweg_from_curvature.h"
#include "support/cli_runner.h"
#include "support/gpkg_checks.h"
#include "support/temp_map.h"
#include "tools/registry.h"

namespace ondu::qgis {
namespace {

namespace fs = std::filesystem;

/// The Qt services with boxes recorded instead of shown, and windows kept open for the test to
/// drive instead of run modally.
class TestUI : public QtUserInterface {
public:
    explicit TestUI(QgisEditor& editor) : QtUserInterface(nullptr, nullptr, &editor) {}
    MsgAnswer showMessageBox(const std::string& text, const std::string& title, MsgButtons,
                             MsgIcon) override {
        messages.push_back("[" + title + "] " + text);
        return MsgAnswer::OK;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    void showDialog(Dialog& dialog, bool) override {
        windows.push_back(std::make_unique<DialogWindow>(dialog, editor(), command()));
    }
    /// The latest window of that dialog.
    DialogWindow& window(const std::string& name) {
        for (auto w = windows.rbegin(); w != windows.rend(); ++w)
            if ((*w)->objectName() == QString::fromStdString(name)) return **w;
        throw std::runtime_error("no window " + name);
    }

    std::vector<std::string> messages;
    std::vector<std::unique_ptr<DialogWindow>> windows;
};

std::size_t countOnDisk(const fs::path& gpkg, const char* layer) {
    GDALDatasetUniquePtr ds(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
    return static_cast<std::size_t>(ds->GetLayerByName(layer)->GetFeatureCount());
}

/// The features QGIS shows of the layer, counted one by one.
long featuresIn(QgsVectorLayer& layer) {
    long count = 0;
    QgsFeature f;
    for (QgsFeatureIterator it = layer.getFeatures(); it.nextFeature(f);) ++count;
    return count;
}

/// A river of two meanders, with surveyed sections that far apart (0: none).
SampleRiverOptions smallRiver(double crossSectionSpacing) {
    SampleRiverOptions river;
    river.length = 1000;
    river.wavelength = 500;
    river.amplitude = 60;
    river.surveyPointCount = 0;
    river.crossSectionSpacing = crossSectionSpacing;
    return river;
}

/// A project over a small generated river, with the host installed on it.
class QgisHostTest : public ::testing::Test {
protected:
    QgisHostTest() {
        writeSampleRiver(gpkg.string(), smallRiver(0));
        for (const char* name : {"CenterlineSegments", "ChannelBoundary", "Thalweg", "CenterLine"})
            add(name);
        g_pApp = &app;
    }
    ~QgisHostTest() override {
        ui.windows.clear();  // they observe the dialogs that reset destroys
        Forms::reset();
        g_pApp = nullptr;
        g_pMxDoc = nullptr;
    }

    QgsVectorLayer* add(const QString& table) {
        auto* layer = new QgsVectorLayer(
            QString::fromStdString(gpkg.string()) + "|layername=" + table, table, "ogr");
        EXPECT_TRUE(layer->isValid()) << table.toStdString();
        project.addMapLayer(layer);
        return layer;
    }
    QgsVectorLayer* layer(const QString& name) {
        return qobject_cast<QgsVectorLayer*>(project.mapLayersByName(name).value(0));
    }
    IFeatureLayer* hostLayer(const std::string& name) {
        IMap& map = app.document().focusMap();
        for (int i = 0; i < map.layerCount(); ++i)
            if (map.layer(i).name() == name) return map.layer(i).asFeatureLayer();
        throw std::runtime_error("no layer " + name);
    }
    template <class W>
    W* widget(DialogWindow& window, const char* control) {
        auto* w = qobject_cast<W*>(window.widget(control));
        if (!w) throw std::runtime_error(std::string("no widget ") + control);
        return w;
    }
    /// Clicks the thalweg command and presses OK on both of its windows.
    void runThalweg(const std::function<void()>& beforeOk = {}) {
        OnduToolbar toolbar(app);
        toolbar.click("clsThaCur");
        widget<QPushButton>(ui.window("frmLogRel"), "cmdOK")->click();
        if (beforeOk) beforeOk();
        widget<QPushButton>(ui.window("frmNewThaCur"), "cmdOK")->click();
    }

    test::TempDir folder;
    fs::path gpkg = fs::path(folder.path()) / "river.gpkg";
    QgsProject project;
    QgisApplication app{project};
    TestUI ui{app.editor()};
    ScopedUserInterface installed{ui};
};

TEST_F(QgisHostTest, ToolbarHasTheCatalogueMenusItemsAndTexts) {
    OnduToolbar toolbar(app);
    EXPECT_EQ(toolbar.objectName(), "ONDU Toolbar");
    std::vector<std::string> buttons;
    for (auto* b : toolbar.findChildren<QToolButton*>())
        if (b->objectName().startsWith("RUDAvuZIR.")) buttons.push_back(b->text().toStdString());
    EXPECT_EQ(buttons,
              (std::vector<std::string>{"Basic ONDU", "Processing Menu", "Data Import/Export"}));
    // Every menu lists its items in catalogue order, a separator before each group start.
    long items = 0;
    for (const auto& def : menuDefinitions()) {
        QMenu* menu = toolbar.menu(def.className());
        ASSERT_NE(menu, nullptr) << def.className();
        std::vector<std::string> expected, shown;
        for (long i = 0; i < def.count(); ++i) {
            ItemDef item;
            def.fill(i, item);
            if (item.Group) expected.push_back("-");
            expected.push_back(std::string(toolCatalogue().create(item.ID)->Caption()));
        }
        for (QAction* a : menu->actions()) {
            shown.push_back(a->isSeparator() ? "-" : a->text().toStdString());
            if (a->isSeparator()) continue;
            ++items;
            auto command = toolCatalogue().create(a->objectName().toStdString());
            ASSERT_NE(command, nullptr) << a->objectName().toStdString();
            EXPECT_EQ(a->toolTip().toStdString(), command->Tooltip());
            EXPECT_EQ(a->statusTip().toStdString(), command->Message());
        }
        EXPECT_EQ(shown, expected) << def.className();
    }
    EXPECT_EQ(items, 21);
    EXPECT_EQ(toolbar.menu("clsONDU_Menu")->actions().at(1)->text(), "Interpolate Attributes");
    EXPECT_EQ(toolbar.menu("clsPreproMenu")->actions().at(0)->toolTip(),
              "Snap gaging stations to centerline");
}

/// The widget class each control kind becomes.
bool hasWidgetOfItsKind(DialogWindow& window, const Control& c) {
    QWidget* w = window.widget(c.name());
    switch (c.kind()) {
        case ControlKind::List:
            return qobject_cast<QComboBox*>(w);
        case ControlKind::TextBox:
            return qobject_cast<QLineEdit*>(w);
        case ControlKind::CheckBox:
            return qobject_cast<QCheckBox*>(w);
        case ControlKind::OptionButton:
            return qobject_cast<QRadioButton*>(w);
        case ControlKind::Button:
            return qobject_cast<QPushButton*>(w);
        case ControlKind::Label:
            return qobject_cast<QLabel*>(w);
        case ControlKind::ProgressBar:
            return qobject_cast<QProgressBar*>(w);
    }
    return false;
}

TEST_F(QgisHostTest, EveryDeclaredDialogGetsAWindowWithItsControlsAndDefaults) {
    int windows = 0;
    for (const auto& info : commandInfos()) {
        auto command = toolCatalogue().createByClass(info.className);
        command->OnCreate(&app);
        for (const auto& entry : command->dialogs()) {
            Dialog& dialog = entry.instance();
            dialog.load();
            DialogWindow window(dialog, &app.editor(), nullptr);
            ++windows;
            EXPECT_EQ(window.windowTitle().toStdString(), dialog.caption());
            for (const auto& c : dialog.controls()) {
                SCOPED_TRACE(dialog.name() + "." + c.name());
                ASSERT_TRUE(hasWidgetOfItsKind(window, c));
                QWidget* w = window.widget(c.name());
                if (!c.decl->frame.empty()) {
                    auto* box = qobject_cast<QGroupBox*>(w->parentWidget());
                    ASSERT_NE(box, nullptr);
                    EXPECT_EQ(box->title().toStdString(), c.decl->frame);
                }
                if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                    EXPECT_EQ(edit->text().toStdString(), c.text);
                }
                if (auto* box = qobject_cast<QComboBox*>(w)) {
                    EXPECT_EQ(box->currentText().toStdString(), c.text);
                }
                if (c.kind() == ControlKind::CheckBox || c.kind() == ControlKind::OptionButton) {
                    auto* check = static_cast<QAbstractButton*>(w);
                    EXPECT_EQ(check->isChecked(), c.checked);
                    EXPECT_EQ(check->text().toStdString(), c.decl->label);
                }
                EXPECT_EQ(w->isEnabled(), c.enabled);
            }
            dialog.unload();
        }
        Forms::reset();
    }
    EXPECT_GE(windows, 16);
    // The project holds no stand-alone table: only the flow-table dialog says so on opening.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"[Warning] No Table found in the map"});
}

TEST_F(QgisHostTest, ListsAreFilledFromTheProjectInLayerTreeOrder) {
    auto* table = new QgsVectorLayer("None?field=Name:string", "Flows", "memory");
    project.addMapLayer(table);
    const std::string dem = folder.file("dem.tif");
    {
        GDALDatasetUniquePtr raster(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            dem.c_str(), 3, 2, 1, GDT_Float32, nullptr));
    }
    project.addMapLayer(new QgsRasterLayer(QString::fromStdString(dem), "Terrain", "gdal"));
    IMap& map = app.document().focusMap();
    std::vector<std::string> tree, hosted;
    for (auto* node : project.layerTreeRoot()->findLayers())
        if (node->layer() != table) tree.push_back(node->layer()->name().toStdString());
    for (int i = 0; i < map.layerCount(); ++i) hosted.push_back(map.layer(i).name());
    EXPECT_EQ(hosted, tree);
    ASSERT_EQ(map.tableCount(), 1);  // the layer without geometry is a stand-alone table
    ILayer& terrain = map.layer(
        static_cast<int>(std::find(hosted.begin(), hosted.end(), "Terrain") - hosted.begin()));
    ASSERT_NE(terrain.asRasterLayer(), nullptr);
    EXPECT_EQ(terrain.asRasterLayer()->raster()->columns(), 3);
    EXPECT_EQ(map.table(0).name(), "Flows");

    Dialog& dialog = Forms::get<frmNewThaCur>();
    dialog.load();
    DialogWindow window(dialog, &app.editor(), nullptr);
    auto items = [&](const char* control) {
        std::vector<std::string> shown;
        auto* box = widget<QComboBox>(window, control);
        for (int i = 0; i < box->count(); ++i) shown.push_back(box->itemText(i).toStdString());
        return shown;
    };
    const auto lines = items("cmbCenterline");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CenterlineSegments"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "ChannelBoundary"), lines.end());
    EXPECT_EQ(items("cmbBoundary"), std::vector<std::string>{"ChannelBoundary"});
    EXPECT_EQ(widget<QComboBox>(window, "cmbCenterline")->currentText(), "CenterlineSegments");
    const auto fields = items("cmbMeasure");
    EXPECT_NE(std::find(fields.begin(), fields.end(), "Measure"), fields.end());
    EXPECT_NE(std::find(fields.begin(), fields.end(), "fid"), fields.end());
}

TEST_F(QgisHostTest, ThalwegRunsOnTheQgisSelectionIntoTheEditBuffer) {
    QgsVectorLayer* segments = layer("CenterlineSegments");
    QgsVectorLayer* thalweg = layer("Thalweg");
    segments->selectByIds({2, 3});
    ASSERT_TRUE(segments->startEditing());
    ASSERT_TRUE(thalweg->startEditing());
    const std::string before = test::fingerprint(gpkg);

    runThalweg();

    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "[Thalweg using curvature] The thalweg was created successfully"});
    EXPECT_EQ(thalweg->featureCount(), 1);  // seen in QGIS before it is saved
    for (const auto& f : test::storedFeatures(hostLayer("CenterlineSegments")))
        EXPECT_EQ(isNull(f["rCurvature"]), f.oid != 2 && f.oid != 3) << f.oid;
    EXPECT_EQ(test::fingerprint(gpkg), before);  // nothing saved yet
    EXPECT_TRUE(segments->isEditable());

    segments->rollBack();
    thalweg->rollBack();
    EXPECT_EQ(thalweg->featureCount(), 0);
    EXPECT_EQ(segments->fields().indexOf("rCurvature"), -1);
    EXPECT_EQ(test::fingerprint(gpkg), before);
}

TEST_F(QgisHostTest, GatedCommandWithoutEditingLayersShowsItsOwnMessage) {
    OnduToolbar toolbar(app);
    toolbar.click("clsThaCur");
    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "[Edit Session] Please start the edit session to run this tool."});
    EXPECT_TRUE(ui.windows.empty());
}

TEST_F(QgisHostTest, GatedCommandWritingALayerNotInEditingModeIsRefusedAndChangesNothing) {
    QgsVectorLayer* segments = layer("CenterlineSegments");
    QgsVectorLayer* thalweg = layer("Thalweg");
    segments->selectByIds({2, 3});
    ASSERT_TRUE(segments->startEditing());  // the gate at the click passes: a layer is editing
    const int undoSteps = segments->undoStack()->count();
    const std::string before = test::fingerprint(gpkg);

    runThalweg();

    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "[Edit Session] Please start the edit session to run this tool."});
    EXPECT_FALSE(thalweg->isEditable());
    EXPECT_EQ(featuresIn(*thalweg), 0);
    EXPECT_TRUE(segments->isEditable());
    EXPECT_EQ(segments->fields().indexOf("rCurvature"), -1);
    EXPECT_EQ(segments->undoStack()->count(), undoSteps);
    EXPECT_FALSE(segments->isModified());
    EXPECT_EQ(test::fingerprint(gpkg), before);
}

TEST_F(QgisHostTest, EscapeStopsTheRunAndUndoesWhatItWrote) {
    QgsVectorLayer* segments = layer("CenterlineSegments");
    QgsVectorLayer* thalweg = layer("Thalweg");
    ASSERT_TRUE(segments->startEditing());
    ASSERT_TRUE(thalweg->startEditing());
    const int undoSteps = segments->undoStack()->count();

    runThalweg([&] {
        // Escape arrives while the run lets the window system deliver its events.
        QTimer::singleShot(0, [&] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&ui.window("frmNewThaCur"), &escape);
        });
    });

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].find("successfully"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(Forms::get<frmNewThaCur>().isLoaded());  // left open, as after any failure
    EXPECT_EQ(thalweg->featureCount(), 0);
    EXPECT_EQ(segments->fields().indexOf("rCurvature"), -1);
    EXPECT_EQ(segments->undoStack()->count(), undoSteps);
    EXPECT_TRUE(segments->isEditable());  // the user's edit session stays open
}

struct EditCase {
    const char* name;
    bool editingBefore;
    bool completed;
    long inQgis;         ///< features QGIS shows after the run
    std::size_t onDisk;  ///< features saved in the file
    bool editingAfter;
    bool gated = false;        ///< the run is one of a command gated on the edit session
    const char* refusal = "";  ///< what refused the run's first write
};

class EditRunTest : public QgisHostTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EditRunTest, KeepsOrUndoesTheWritesOfARun) {
    const EditCase& c = GetParam();
    QgsVectorLayer* thalweg = layer("Thalweg");
    if (c.editingBefore) {
        ASSERT_TRUE(thalweg->startEditing());
    }
    std::string refusal;
    {
        EditRun run(app.editor(), c.gated ? &catalogued("clsThaCur") : nullptr);
        try {
            IFeatureClass* cls = hostLayer("Thalweg")->featureClass();
            cls->addField({"Label", FieldType::String});
            auto f = cls->createFeature();
            f->setShape(fromWkt("LINESTRING (0 0,10 5)"));  // takes the layer's Z
            f->setValue(cls->findField("Label"), std::string("bed"));
            f->store();
        } catch (const RunRefused& e) {
            refusal = "[" + e.context() + "] " + e.what();
        }
        // A refused run is undone even when the tool carries on to completion.
        if (c.completed) run.finish(true);
    }
    EXPECT_EQ(refusal, c.refusal);
    // Counted one by one: QGIS's own count of a GeoPackage layer reads -1 after a rollback.
    EXPECT_EQ(featuresIn(*thalweg), c.inQgis);
    EXPECT_EQ(countOnDisk(gpkg, "Thalweg"), c.onDisk);
    EXPECT_EQ(thalweg->isEditable(), c.editingAfter);
    EXPECT_EQ(thalweg->fields().indexOf("Label") >= 0, c.inQgis == 1);
    if (c.inQgis == 1) {
        const auto stored = test::storedFeatures(hostLayer("Thalweg"));
        EXPECT_EQ(toWkt(stored.at(0).shape), "LINESTRING Z (0 0 0,10 5 0)");
        EXPECT_EQ(toText(stored.at(0)["Label"]), "bed");
    }
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EditSessions, EditRunTest,
    ::testing::Values(EditCase{"InEditSessionCompleted", true, true, 1, 0, true},
                      EditCase{"InEditSessionFailed", true, false, 0, 0, true},
                      EditCase{"OutsideEditSessionCompleted", false, true, 1, 1, false},
                      EditCase{"OutsideEditSessionFailed", false, false, 0, 0, false},
                      EditCase{"GatedInEditSession", true, true, 1, 0, true, true},
                      EditCase{"GatedOutsideEditSessionIsRefused", false, true, 0, 0, false, true,
                               "[Edit Session] Please start the edit session to run this tool."}),
    [](const auto& info) { return std::string(info.param.name); });

// A tool that reports a failed step and carries on (as the beta sections do for each section)
// would report every later refused write and then its completion: only the refusal is shown.
TEST_F(QgisHostTest, AfterARefusalOnlyTheRefusalIsReported) {
    ASSERT_TRUE(layer("CenterlineSegments")->startEditing());
    {
        EditRun run(app.editor(), &catalogued("clsBetaFromTha"));
        hostLayer("CenterlineSegments")->featureClass()->addField({"Written"});  // taken
        IFeatureClass* cls = hostLayer("Thalweg")->featureClass();
        for (int section = 0; section < 2; ++section)
            trapped(ErrorStyle::Routine, "subCreateBetas", [&] { cls->createFeature()->store(); });
        MsgBox("Cross-sections created successfully!", MsgButtons::OK,
               "Cross-sections from thalweg");
        MsgBox("Go on?", MsgButtons::YesNo, "Question");  // questions are still asked
        run.finish(true);
    }
    MsgBox("Next run", MsgButtons::OK, "After");
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               "[Edit Session] Please start the edit session to run this tool.",
                               "[Question] Go on?", "[After] Next run"}));
    EXPECT_EQ(featuresIn(*layer("Thalweg")), 0);
    EXPECT_FALSE(layer("Thalweg")->isEditable());
    // What the run wrote before its refusal is undone although the tool completed.
    EXPECT_EQ(layer("CenterlineSegments")->fields().indexOf("Written"), -1);
    EXPECT_FALSE(layer("CenterlineSegments")->isModified());
}

TEST_F(QgisHostTest, OutsideARunOnlyLayersInEditingModeTakeWrites) {
    IFeatureClass* cls = hostLayer("Thalweg")->featureClass();
    auto f = cls->createFeature();
    EXPECT_THROW(f->store(), HostError);
    EXPECT_FALSE(layer("Thalweg")->isEditable());
}

TEST_F(QgisHostTest, FailedSaveIsReportedAndLeavesTheLayerAsItWas) {
    // The store refuses a second line of the same shape, so saving the run's line fails.
    {
        GDALDatasetUniquePtr ds(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ds->ExecuteSQL("CREATE UNIQUE INDEX thalweg_shape ON Thalweg(SHAPE)", nullptr, nullptr);
        OGRLayer* thalweg = ds->GetLayerByName("Thalweg");
        OGRFeature feature(thalweg->GetLayerDefn());
        OGRGeometry* line = nullptr;
        OGRGeometryFactory::createFromWkt("LINESTRING Z (0 0 0,1 1 0)", nullptr, &line);
        feature.SetGeometryDirectly(line);
        ASSERT_EQ(thalweg->CreateFeature(&feature), OGRERR_NONE);
    }
    QgsVectorLayer* thalweg = layer("Thalweg");
    thalweg->reload();
    {
        EditRun run(app.editor());
        auto f = hostLayer("Thalweg")->featureClass()->createFeature();
        f->setShape(fromWkt("LINESTRING Z (0 0 0,1 1 0)"));
        f->store();
        run.finish(true);
    }
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("[ONDU] The results could not be saved:\nThalweg: ", 0), 0u)
        << ui.messages[0];
    EXPECT_EQ(thalweg->featureCount(), 1);
    EXPECT_FALSE(thalweg->isEditable());
    EXPECT_EQ(countOnDisk(gpkg, "Thalweg"), 1u);
}

struct ShapeCase {
    const char* name;
    const char* wkt;
    QgsWkbTypes::Type layerType;
    const char* stored;
};

class ShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ShapeTest, ShapesTakeTheLayerZAndMThroughQgis) {
    const ShapeCase& c = GetParam();
    EXPECT_EQ(toWkt(fromQgs(toQgs(fromWkt(c.wkt), c.layerType))), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ShapeTest,
    ::testing::Values(
        ShapeCase{"ZKept", "LINESTRING Z (0 0 1,2 0 3)", QgsWkbTypes::LineStringZ,
                  "LINESTRING Z (0 0 1,2 0 3)"},
        ShapeCase{"ZAddedAsZero", "LINESTRING (0 0,2 0)", QgsWkbTypes::LineStringZ,
                  "LINESTRING Z (0 0 0,2 0 0)"},
        ShapeCase{"ZAndMDropped", "LINESTRING ZM (0 0 1 5,2 0 3 6)", QgsWkbTypes::LineString,
                  "LINESTRING (0 0,2 0)"},
        ShapeCase{"MKept", "LINESTRING M (0 0 5,2 0 6)", QgsWkbTypes::LineStringM,
                  "LINESTRING M (0 0 5,2 0 6)"},
        ShapeCase{"MultiPartKept", "MULTILINESTRING ((0 0,1 0),(2 0,3 0))",
                  QgsWkbTypes::MultiLineString, "MULTILINESTRING ((0 0,1 0),(2 0,3 0))"},
        ShapeCase{"SinglePartIntoMultiLayer", "LINESTRING (0 0,1 0)", QgsWkbTypes::MultiLineString,
                  "LINESTRING (0 0,1 0)"},
        ShapeCase{"PointGetsZ", "POINT (1 2)", QgsWkbTypes::PointZ, "POINT Z (1 2 0)"},
        ShapeCase{"PolygonKept", "POLYGON ((0 0,1 0,1 1,0 0))", QgsWkbTypes::Polygon,
                  "POLYGON ((0 0,1 0,1 1,0 0))"}),
    [](const auto& info) { return std::string(info.param.name); });

/// A created layer of each kind, written in two versions that the host tells apart.
struct CreatedCase {
    const char* name;
    LayerKind kind;
    const char* file;
    const char* table;
    const char* qgisSource;  ///< after the folder
    /// Writes version 1 or 2 of the data at `path`.
    void (*write)(const std::string& path, int version);
    /// What the host reads of it: 1 + version.
    long (*measure)(ILayer& layer);
};

void writeRaster(const std::string& path, int version) {
    std::filesystem::remove(path);
    GDALDatasetUniquePtr raster(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        path.c_str(), 1 + version, 2, 1, GDT_Float32, nullptr));
}
long rasterColumns(ILayer& layer) { return layer.asRasterLayer()->raster()->columns(); }

void writeTin(const std::string& path, int version) {
    std::vector<Point> points = {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}, {10, 10, 4}, {20, 5, 5}};
    points.resize(static_cast<std::size_t>(3 + version));  // 2 or 3 triangles
    createTin(points, {}, nullptr, "")->saveAs(path);
}
long tinTriangles(ILayer& layer) {
    return static_cast<long>(layer.asTinLayer()->tin()->triangleCount());
}

void writeClass(const std::string& path, int version) {
    std::filesystem::remove(path);
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
        path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* made = ds->CreateLayer("Made", nullptr, wkbPoint);
    for (int i = 0; i < 1 + version; ++i) {
        OGRFeature feature(made->GetLayerDefn());
        OGRPoint point(i, 0);
        feature.SetGeometry(&point);
        ASSERT_EQ(made->CreateFeature(&feature), OGRERR_NONE);
    }
}
long classFeatures(ILayer& layer) {
    return layer.asFeatureLayer()->featureClass()->featureCount(nullptr);
}

class CreatedLayerTest : public QgisHostTest, public ::testing::WithParamInterface<CreatedCase> {};

TEST_P(CreatedLayerTest, JoinsTheProjectOnTopOnceAndReadsItsReplacedSource) {
    const CreatedCase& c = GetParam();
    const std::string path = folder.file(c.file);
    const CreatedLayer created{c.kind, c.name, path, c.table};
    auto named = [&] { return project.mapLayersByName(c.name); };
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        c.write(path, version);
        app.map().layerCreated(created);
        ASSERT_EQ(named().size(), 1);  // a second run's output is not added twice
        QgsMapLayer* layer = named().front();
        EXPECT_EQ(project.layerTreeRoot()->findLayers().front()->layer(), layer);
        EXPECT_EQ(layer->source(), QString::fromStdString(folder.path() + "/" + c.qgisSource));
        EXPECT_EQ(layer->customProperty(kTinProperty).toString().toStdString(),
                  c.kind == LayerKind::Tin ? path : "");
        IMap& map = app.document().focusMap();
        ASSERT_EQ(map.layer(0).name(), c.name);
        EXPECT_EQ(map.layer(0).kind(), c.kind);
        EXPECT_EQ(c.measure(map.layer(0)), 1 + version);  // the replaced source, not the first
    }
    EXPECT_EQ(project.count(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CreatedLayerTest,
    ::testing::Values(CreatedCase{"merged", LayerKind::Raster, "merged.tif", "", "merged.tif",
                                  writeRaster, rasterColumns},
                      CreatedCase{"MergedTIN", LayerKind::Tin, "MergedTIN.gpkg", "",
                                  "MergedTIN.gpkg|layername=triangles", writeTin, tinTriangles},
                      CreatedCase{"Made", LayerKind::Feature, "made.gpkg", "Made",
                                  "made.gpkg|layername=Made", writeClass, classFeatures}),
    [](const auto& info) { return std::string(info.param.name); });

/// Integrate with terrain on a TIN or a raster terrain, and the layers it creates: names and files
/// (from the test folder) of the terrain outputs.
struct TerrainCase {
    const char* name;
    bool tin;
    std::vector<std::pair<std::string, std::string>> created;
};

class IntegrateFixture : public QgisHostTest {
protected:
    /// Sections and a valley around them, added to the project as "Sections" and "Terrain"; the
    /// sections a table of a GeoPackage or a shapefile of their own.
    void addSectionsAndTerrain(bool tin, bool shapefile = false) {
        const SampleRiverOptions river = smallRiver(250);
        const std::string sections = folder.file("sections.gpkg");
        writeSampleRiver(sections, river);
        fs::create_directories(folder.file("terrain"));
        const std::string raster = folder.file("terrain/valley.tif");
        writeSampleValley(raster, tinPath, river, 25);
        const QString source =
            shapefile ? QString::fromStdString(shapefileOf(sections))
                      : QString::fromStdString(sections) + "|layername=SurveyCrossSections";
        project.addMapLayer(new QgsVectorLayer(source, "Sections", "ogr"));
        if (!tin) {
            project.addMapLayer(new QgsRasterLayer(QString::fromStdString(raster), "Terrain"));
            return;
        }
        auto* triangles = new QgsVectorLayer(
            QString::fromStdString(tinPath) + "|layername=triangles", "Terrain", "ogr");
        triangles->setCustomProperty(kTinProperty, QString::fromStdString(tinPath));
        project.addMapLayer(triangles);
    }
    /// Runs the tool through its window, replacing the sections' shapes and building a terrain,
    /// or with the window's own output options.
    void integrate(const QString& divisions, bool replaceAndBuild = true, bool extend = false) {
        OnduToolbar toolbar(app);
        toolbar.click("clsIntegrateCSwithTerrain");
        DialogWindow& window = ui.window("frmIntegrateCSwithTerrain");
        for (auto [control, item] :
             {std::pair{"cmbCrossSections", "Sections"}, std::pair{"cmbSurface", "Terrain"}}) {
            auto* box = widget<QComboBox>(window, control);
            emit box->activated(box->findText(item));
        }
        auto* count = widget<QLineEdit>(window, "txtNoProfileLines");
        count->setText(divisions);
        emit count->textEdited(divisions);
        if (extend) widget<QCheckBox>(window, "chkExtend")->click();
        if (replaceAndBuild) {
            widget<QCheckBox>(window, "chkNewTerrain")->click();
            widget<QRadioButton>(window, "optReplace")->click();
        }
        widget<QPushButton>(window, "cmdOK")->click();
    }

    /// The GeoPackage's sections as the shapefile "shp/Sections.shp".
    std::string shapefileOf(const std::string& gpkg) {
        fs::create_directories(folder.file("shp"));
        const std::string path = folder.file("shp/Sections.shp");
        GDALDatasetUniquePtr from(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
        GDALDatasetUniquePtr to(GetGDALDriverManager()
                                    ->GetDriverByName("ESRI Shapefile")
                                    ->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        EXPECT_NE(to->CopyLayer(from->GetLayerByName("SurveyCrossSections"), "Sections"), nullptr);
        return path;
    }

    const std::string tinPath = folder.file("terrain/valley-tin.gpkg");
};

class IntegrateTest : public IntegrateFixture, public ::testing::WithParamInterface<TerrainCase> {};

TEST_F(IntegrateTest, ATinLayerOfTheProjectIsReadAsThatTin) {
    addSectionsAndTerrain(true);
    ILayer& terrain = app.document().focusMap().layer(0);  // QGIS adds layers on top
    ASSERT_EQ(terrain.name(), "Terrain");
    ASSERT_NE(terrain.asTinLayer(), nullptr);
    EXPECT_EQ(terrain.asTinLayer()->tin()->triangleCount(), openTin(tinPath)->triangleCount());
}

TEST_P(IntegrateTest, CreatedTerrainsJoinTheProjectOnTopOnce) {
    const TerrainCase& c = GetParam();
    addSectionsAndTerrain(c.tin);
    const int layersBefore = project.count();
    std::size_t firstTriangles = 0;
    for (const char* divisions : {"4", "8"}) {
        SCOPED_TRACE(divisions);
        ui.messages.clear();
        integrate(divisions);
        ASSERT_EQ(ui.messages,
                  std::vector<std::string>{"[Integration] Process completed successfully!"});
        EXPECT_EQ(project.count(), layersBefore + static_cast<int>(c.created.size()));

        // Each added on top of the one before.
        const auto tree = project.layerTreeRoot()->findLayers();
        IMap& map = app.document().focusMap();
        for (std::size_t i = 0; i < c.created.size(); ++i) {
            const auto& [name, file] = c.created[c.created.size() - 1 - i];
            const std::string path = folder.file(file);
            QgsMapLayer* layer = tree.at(static_cast<int>(i))->layer();
            ASSERT_EQ(layer->name().toStdString(), name);
            ILayer& hosted = map.layer(static_cast<int>(i));
            if (auto* tin = hosted.asTinLayer()) {
                EXPECT_EQ(layer->customProperty(kTinProperty).toString().toStdString(), path);
                EXPECT_EQ(layer->source().toStdString(), path + "|layername=triangles");
                const std::size_t triangles = tin->tin()->triangleCount();
                EXPECT_EQ(triangles, openTin(path)->triangleCount());
                if (firstTriangles) {
                    EXPECT_NE(triangles, firstTriangles);  // the second run's TIN, read afresh
                }
                firstTriangles = triangles;
            } else {
                ASSERT_NE(hosted.asRasterLayer(), nullptr) << name;
                EXPECT_EQ(layer->source().toStdString(), path);
                EXPECT_GT(hosted.asRasterLayer()->raster()->columns(), 0);
            }
        }
    }
}

/// The rows of a class on disk: "fid|Measure|NewFeat|shape as WKT", in identifier order.
std::vector<std::string> rowsOnDisk(const std::string& file, const std::string& table) {
    GDALDatasetUniquePtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
    if (!ds) return {};
    OGRLayer* layer = table.empty() ? ds->GetLayer(0) : ds->GetLayerByName(table.c_str());
    if (!layer) return {};
    std::vector<std::string> rows;
    for (auto& feature : *layer) {
        const int newFeat = feature->GetFieldIndex("NewFeat");
        const double measure = feature->GetFieldAsDouble("Measure");
        rows.push_back(std::to_string(feature->GetFID()) + "|" +
                       QString::number(measure).toStdString() + "|" +
                       (newFeat >= 0 ? std::to_string(feature->GetFieldAsInteger(newFeat)) : "-") +
                       "|" + feature->GetGeometryRef()->exportToWkt());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

/// Where the sections of an integrate run lie, and where their copy "Sections_new" goes.
struct StoreCase {
    const char* name;
    bool shapefile;
    const char* file;       ///< of the sections, in the test folder
    const char* table;      ///< of the sections; empty for a shapefile
    const char* copyFile;   ///< of the copy
    const char* copyTable;  ///< of the copy
};

class NewClassTest : public IntegrateFixture, public ::testing::WithParamInterface<StoreCase> {
protected:
    NewClassTest() { addSectionsAndTerrain(true, GetParam().shapefile); }
    std::vector<std::string> sectionsOnDisk() {
        return rowsOnDisk(folder.file(GetParam().file), GetParam().table);
    }
    std::vector<std::string> copyOnDisk() {
        return rowsOnDisk(folder.file(GetParam().copyFile), GetParam().copyTable);
    }
    QList<QgsMapLayer*> copies() { return project.mapLayersByName("Sections_new"); }
    /// The boxes that a run writing the new shapes into "Sections_new" shows.
    std::vector<std::string> integrateIntoNewClass(bool extend = false) {
        ui.messages.clear();
        integrate("4", false, extend);
        return ui.messages;
    }
};

// The copy is made of what the user sees: an unsaved change of a value and an unsaved deletion
// are in it, with the extended shapes; the source layer keeps its edit buffer, and a second run
// replaces the copy.
TEST_P(NewClassTest, CopyHoldsTheUnsavedEditsAndTheNewShapesAndIsReplacedByTheNextRun) {
    QgsVectorLayer* sections = layer("Sections");
    const std::vector<std::string> savedBefore = sectionsOnDisk();
    ASSERT_GE(savedBefore.size(), 4u);
    ASSERT_TRUE(sections->startEditing());
    QgsFeatureIds ids = sections->allFeatureIds();
    std::vector<QgsFeatureId> sorted(ids.begin(), ids.end());
    std::sort(sorted.begin(), sorted.end());
    const QgsFeatureId changed = sorted[1], deleted = sorted.back();
    const int measure = sections->fields().indexOf("Measure");
    const double newMeasure = sections->getFeature(changed).attribute(measure).toDouble() + 1;
    ASSERT_TRUE(sections->changeAttributeValue(changed, measure, newMeasure));
    ASSERT_TRUE(sections->deleteFeature(deleted));

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(integrateIntoNewClass(true),
                  std::vector<std::string>{"[Integration] Process completed successfully!"});
        ASSERT_EQ(copies().size(), 1);
        QgsMapLayer* copy = copies().front();
        EXPECT_EQ(project.layerTreeRoot()->findLayers().front()->layer(), copy);
        EXPECT_FALSE(qobject_cast<QgsVectorLayer*>(copy)->isEditable());  // committed

        const std::vector<std::string> rows = copyOnDisk();
        ASSERT_EQ(rows.size(), savedBefore.size() - 1);  // without the deleted one
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string before = savedBefore[i];
            EXPECT_EQ(rows[i].substr(0, rows[i].find('|')), before.substr(0, before.find('|')));
            EXPECT_NE(rows[i].find("|1|"), std::string::npos) << rows[i];  // NewFeat = 1
            EXPECT_NE(rows[i].substr(rows[i].rfind('|')), before.substr(before.rfind('|')));
        }
        EXPECT_NE(rows[1].find("|" + QString::number(newMeasure).toStdString() + "|"),
                  std::string::npos)
            << rows[1];
        EXPECT_FALSE(maputil::FeatureClassExists(*hostLayer("Sections")->featureClass(),
                                                 "Sections_new_replaced_by_ondu"));
        // The source is as it was: saved rows untouched, the edits still pending.
        EXPECT_EQ(sectionsOnDisk(), savedBefore);
        EXPECT_TRUE(sections->isEditable());
        EXPECT_EQ(sections->getFeature(changed).attribute(measure).toDouble(), newMeasure);
        EXPECT_FALSE(sections->getFeature(deleted).isValid());
    }
    if (!GetParam().shapefile) EXPECT_EQ(test::validatorFindings(folder.file(GetParam().file)), "");
}

// A run that fails after the copy was made leaves no copy: neither the class nor its layer; an
// older copy that it replaced is back, shown by a layer again.
TEST_P(NewClassTest, AFailedRunLeavesNoCopyAndGetsTheOlderOneBack) {
    ASSERT_TRUE(layer("Sections")->startEditing());
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older);
        if (older) integrate("4", false);
        const std::vector<std::string> before = copyOnDisk();
        const int layersBefore = project.count();
        {
            EditRun run(app.editor(), &catalogued("clsIntegrateCSwithTerrain"));
            IFeatureClass& cls = *hostLayer("Sections")->featureClass();
            if (older) maputil::DeleteFeatureClass(cls, "Sections_new");
            auto copy = maputil::CopyFeatureClass(cls, "Sections_new");
            maputil::AddField(copy.get(), "NewFeat", FieldType::Integer);  // opened by the run
            EXPECT_TRUE(qobject_cast<QgsVectorLayer*>(copies().value(0))->isEditable());
            run.finish(false);
        }
        EXPECT_EQ(project.count(), layersBefore);
        EXPECT_EQ(copies().size(), older ? 1 : 0);
        EXPECT_EQ(copyOnDisk(), before);
        IFeatureClass& cls = *hostLayer("Sections")->featureClass();
        EXPECT_EQ(maputil::FeatureClassExists(cls, "Sections_new"), older);
        EXPECT_FALSE(maputil::FeatureClassExists(cls, "Sections_new_replaced_by_ondu"));
    }
}

// The layer is named apart from its table: the table is still the class itself.
TEST_P(NewClassTest, TheLayersOwnTableIsNeverDeleted) {
    const std::string own = GetParam().shapefile ? "Sections" : "SurveyCrossSections";
    const std::vector<std::string> saved = sectionsOnDisk();
    IFeatureClass& cls = *hostLayer("Sections")->featureClass();
    ASSERT_TRUE(maputil::FeatureClassExists(cls, own));
    try {
        maputil::DeleteFeatureClass(cls, own);
        ADD_FAILURE() << "deleted";
    } catch (const HostError& e) {
        EXPECT_EQ(std::string(e.what()), "the class " + own + " may not delete itself");
    }
    EXPECT_EQ(sectionsOnDisk(), saved);
}

// New features have no identifier the copy could keep yet, and the copy takes the saved fields:
// a buffer holding either is refused before anything is written.
TEST_P(NewClassTest, UnsavedNewFeaturesOrFieldsAreRefused) {
    QgsVectorLayer* sections = layer("Sections");
    const std::vector<std::string> saved = sectionsOnDisk();
    for (const bool newField : {false, true}) {
        SCOPED_TRACE(newField);
        ASSERT_TRUE(sections->startEditing());
        if (newField) {
            ASSERT_TRUE(sections->addAttribute(QgsField("Note", QVariant::String)));
        } else {
            QgsFeature added = sections->getFeature(*sections->allFeatureIds().begin());
            added.setAttribute("Measure", 5000);
            ASSERT_TRUE(sections->addFeature(added));
        }
        EXPECT_EQ(integrateIntoNewClass(),
                  std::vector<std::string>{"[] The layer Sections has new features or changed "
                                           "fields that are not saved: save them, then run the "
                                           "tool again."});
        EXPECT_TRUE(copies().isEmpty());
        EXPECT_TRUE(copyOnDisk().empty());
        EXPECT_TRUE(sections->isModified());  // the user's edits are kept
        ASSERT_TRUE(sections->rollBack());
    }
    EXPECT_EQ(sectionsOnDisk(), saved);
}

// An older copy shown by a layer with unsaved edits is not deleted under it.
TEST_P(NewClassTest, AnOlderCopyWithUnsavedEditsIsNotReplaced) {
    integrate("4", false);
    QgsVectorLayer* copy = qobject_cast<QgsVectorLayer*>(copies().value(0));
    ASSERT_NE(copy, nullptr);
    const std::vector<std::string> before = copyOnDisk();
    ASSERT_TRUE(copy->startEditing());
    ASSERT_TRUE(copy->deleteFeature(*copy->allFeatureIds().begin()));
    EXPECT_EQ(integrateIntoNewClass(),
              std::vector<std::string>{"[] The layer Sections_new shows the class Sections_new "
                                       "and has unsaved edits: save or discard them, then run "
                                       "the tool again."});
    EXPECT_EQ(copies().size(), 1);
    EXPECT_TRUE(copy->isModified());
    EXPECT_EQ(copyOnDisk(), before);
}

INSTANTIATE_TEST_SUITE_P(Stores, NewClassTest,
                         ::testing::Values(StoreCase{"GeoPackage", false, "sections.gpkg",
                                                     "SurveyCrossSections", "sections.gpkg",
                                                     "Sections_new"},
                                           StoreCase{"Shapefile", true, "shp/Sections.shp", "",
                                                     "shp/Sections_new.shp", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Terrains, IntegrateTest,
    ::testing::Values(TerrainCase{"Tin", true, {{"MergedTIN", "terrain/MergedTIN.gpkg"}}},
                      TerrainCase{"Raster",
                                  false,
                                  {{"NewTIN", "NewTIN.gpkg"},
                                   {"rast", "terrain/rast.tif"},
                                   {"merged", "terrain/merged.tif"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QtFileFilter, TakesTheHostFilterFormAndPreselectsTheEntry) {
    QString selected;
    EXPECT_EQ(qtFileFilter("All Files (*.*)|*.*|XML Files (*.xml)|*.xml|", 2, &selected),
              "All Files (*.*);;XML Files (*.xml)");
    EXPECT_EQ(selected, "XML Files (*.xml)");
    EXPECT_EQ(qtFileFilter("", 1, &selected), "");
}
}  // namespace
}  // namespace ondu::qgis

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    const std::string profile = ondu::workFolder() + "/ondu-qgis-test-profile";
    QgsApplication app(argc, argv, true, QString::fromStdString(profile));
    QgsApplication::setPrefixPath("/usr", true);
    QgsApplication::initQgis();
    GDALAllRegister();
    const int result = RUN_ALL_TESTS();
    QgsApplication::exitQgis();
    return result;
}
