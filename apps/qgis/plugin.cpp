// The QGIS plugin: on load it installs the host (the project as the map, QGIS's edit buffers as
// the edit session, Qt boxes and windows) and adds the ONDU Toolbar.

#include <qgis.h>
#include <qgisinterface.h>
#include <qgisplugin.h>
#include <qgsproject.h>

#include <QMainWindow>
#include <memory>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qt_dialog.h"
#include "apps/qgis/qt_user_interface.h"
#include "apps/qgis/toolbar.h"
#include "framework/dialog.h"
#include "framework/shared_state.h"

namespace {

const QString kName = QStringLiteral("ONDU Toolbar");
const QString kDescription = QStringLiteral("River-channel tools: the ONDU Toolbar");
const QString kCategory = QStringLiteral("Plugins");
const QString kVersion = QStringLiteral("1.0");
const QString kIcon = QString();

class OnduPlugin : public QgisPlugin {
public:
    explicit OnduPlugin(QgisInterface* iface)
        : QgisPlugin(kName, kDescription, kCategory, kVersion, QgisPlugin::UI), iface_(iface) {}
    ~OnduPlugin() override { unload(); }

    void initGui() override {
        app_ = std::make_unique<ondu::qgis::QgisApplication>(*QgsProject::instance());
        ui_ = std::make_unique<ondu::qgis::QtUserInterface>(
            iface_->mainWindow(), iface_->statusBarIface(), &app_->editor());
        installed_ = std::make_unique<ondu::ScopedUserInterface>(*ui_);
        toolbar_ = new ondu::qgis::OnduToolbar(*app_, iface_->mainWindow());
        iface_->addToolBar(toolbar_);
    }

    void unload() override {
        if (!app_) return;
        // Windows first: they observe the dialogs that Forms::reset destroys.
        for (auto* window : iface_->mainWindow()->findChildren<ondu::qgis::DialogWindow*>())
            delete window;
        ondu::Forms::reset();
        delete toolbar_;
        toolbar_ = nullptr;
        installed_.reset();
        ui_.reset();
        ondu::g_pApp = nullptr;
        ondu::g_pMxDoc = nullptr;
        app_.reset();
    }

private:
    QgisInterface* iface_;
    std::unique_ptr<ondu::qgis::QgisApplication> app_;
    std::unique_ptr<ondu::qgis::QtUserInterface> ui_;
    std::unique_ptr<ondu::ScopedUserInterface> installed_;
    ondu::qgis::OnduToolbar* toolbar_ = nullptr;
};

}  // namespace

QGISEXTERN QgisPlugin* classFactory(QgisInterface* iface) { return new OnduPlugin(iface); }
QGISEXTERN const QString* name() { return &kName; }
QGISEXTERN const QString* description() { return &kDescription; }
QGISEXTERN const QString* category() { return &kCategory; }
QGISEXTERN int type() { return QgisPlugin::UI; }
QGISEXTERN const QString* version() { return &kVersion; }
QGISEXTERN const QString* icon() { return &kIcon; }
QGISEXTERN void unload(QgisPlugin* plugin) { delete plugin; }
