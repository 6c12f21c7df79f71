#pragma once
// The ONDU Toolbar: its three drop-down menus with every item of the catalogue in order, each
// item with its caption, group separator, tooltip and status-bar message. A click runs the same
// command object that `ondu run` clicks.

#include <QToolBar>
#include <map>
#include <memory>
#include <string>

#include "framework/commands.h"

class QMenu;

namespace ondu::qgis {

class QgisApplication;

class OnduToolbar : public QToolBar {
    Q_OBJECT
public:
    /// Builds the toolbar; every command is created and handed the application once, as the
    /// host does when it loads a toolbar.
    explicit OnduToolbar(QgisApplication& app, QWidget* parent = nullptr);
    ~OnduToolbar() override;

    /// The drop-down menu of a menu class ("clsONDU_Menu"); nullptr for none.
    QMenu* menu(const std::string& menuClassName) const;
    /// What a click on the command's menu item does.
    void click(const std::string& className);

private:
    QMenu* buildMenu(const ItemListDef& def);

    QgisApplication& app_;
    std::map<std::string, std::unique_ptr<CommandBase>> commands_;
    std::map<std::string, QMenu*> menus_;
};

}  // namespace ondu::qgis
