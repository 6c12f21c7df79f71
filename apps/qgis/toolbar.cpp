#include "apps/qgis/toolbar.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

#include "apps/qgis/qgis_application.h"
#include "framework/shared_state.h"
#include "tools/registry.h"

namespace ondu::qgis {

namespace {
QString qtext(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
}  // namespace

OnduToolbar::OnduToolbar(QgisApplication& app, QWidget* parent)
    : QToolBar(qtext(toolbarDefinition().caption()), parent), app_(app) {
    setObjectName(qtext(toolbarDefinition().name()));
    const ItemListDef& toolbar = toolbarDefinition();
    for (long i = 0; i < toolbar.count(); ++i) {
        ItemDef item;
        toolbar.fill(i, item);
        for (const auto& def : menuDefinitions()) {
            if (progID(def.className()) != item.ID) continue;
            if (item.Group) addSeparator();
            auto* button = new QToolButton(this);
            button->setObjectName(qtext(item.ID));
            button->setText(qtext(def.caption()));
            button->setMenu(buildMenu(def));
            button->setPopupMode(QToolButton::InstantPopup);
            addWidget(button);
        }
    }
}

OnduToolbar::~OnduToolbar() = default;

QMenu* OnduToolbar::buildMenu(const ItemListDef& def) {
    auto* menu = new QMenu(qtext(def.caption()), this);
    menu->setObjectName(qtext(progID(def.className())));
    menu->setToolTipsVisible(true);
    for (long i = 0; i < def.count(); ++i) {
        ItemDef item;
        def.fill(i, item);
        auto command = toolCatalogue().create(item.ID);
        if (!command) continue;
        const std::string className(command->info().className);
        if (item.Group) menu->addSeparator();
        QAction* action = menu->addAction(qtext(command->Caption()));
        action->setObjectName(qtext(item.ID));
        action->setToolTip(qtext(command->Tooltip()));
        action->setStatusTip(qtext(command->Message()));
        action->setEnabled(command->Enabled());
        connect(action, &QAction::triggered, this, [this, className] { click(className); });
        command->OnCreate(&app_);
        commands_[className] = std::move(command);
    }
    menus_[def.className()] = menu;
    return menu;
}

QMenu* OnduToolbar::menu(const std::string& menuClassName) const {
    auto it = menus_.find(menuClassName);
    return it == menus_.end() ? nullptr : it->second;
}

void OnduToolbar::click(const std::string& className) {
    auto it = commands_.find(className);
    if (it == commands_.end()) return;
    Forms::collect();  // instances unloaded by earlier clicks, whose handlers have all returned
    g_pApp = &app_;
    g_itemsLeftUndone = false;
    QgisEditor::ClickScope clicking(app_.editor(), it->second->info());
    it->second->OnClick();
}

}  // namespace ondu::qgis
