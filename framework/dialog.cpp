#include "framework/dialog.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "framework/number_text.h"
#include "framework/ui.h"

namespace ondu {

const ControlDecl* DialogDecl::find(const std::string& controlName) const {
    for (const auto& c : controls)
        if (c.name == controlName) return &c;
    return nullptr;
}

const char* controlKindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::List:
            return "list";
        case ControlKind::TextBox:
            return "text";
        case ControlKind::CheckBox:
            return "check";
        case ControlKind::OptionButton:
            return "option";
        case ControlKind::Button:
            return "button";
        case ControlKind::Label:
            return "label";
        case ControlKind::ProgressBar:
            return "progress";
    }
    return "?";
}

void recolourAsNumber(Control& textBox) {
    textBox.foreColor = parseNumber(textBox.text) ? kWindowTextColor : kRed;
}

bool holdsNumber(const Control& textBox) { return parseNumber(textBox.text).has_value(); }

FileChoice openFileChoice(const std::string& filter) {
    FileChoice choice;
    choice.filter = filter;
    choice.filterIndex = 2;
    choice.mustExist = true;
    return choice;
}

FileChoice saveFileChoice(const std::string& filter) {
    FileChoice choice;
    choice.save = true;
    choice.filter = filter;
    choice.filterIndex = 2;
    choice.overwritePrompt = true;
    return choice;
}

void browseInto(Control& textBox, FileChoice choice) {
    choice.initialPath = textBox.text;
    if (auto path = userInterface().chooseFile(choice)) textBox.text = *path;
}

Dialog::Dialog(const DialogDecl& decl) : decl_(decl) {
    controls_.reserve(decl.controls.size());
    for (const auto& c : decl.controls) controls_.emplace_back(&c);
    applyDefaults();
}

void Dialog::applyDefaults() {
    for (auto& c : controls_) {
        const auto& d = *c.decl;
        switch (d.kind) {
            case ControlKind::CheckBox:
            case ControlKind::OptionButton:
                c.checked = d.defaultValue == "1";
                break;
            case ControlKind::Button:
            case ControlKind::Label:
                c.text = d.defaultValue.empty() ? d.label : d.defaultValue;
                break;
            default:
                c.text = d.defaultValue;
        }
    }
}

Control& Dialog::control(const std::string& name) {
    return const_cast<Control&>(std::as_const(*this).control(name));
}

const Control& Dialog::control(const std::string& name) const {
    for (const auto& c : controls_)
        if (c.name() == name) return c;
    throw std::out_of_range(decl_.name + " has no control " + name);
}

void Dialog::load() {
    if (loaded_) return;
    loaded_ = true;
    onLoad();
}

void Dialog::type(const std::string& controlName, const std::string& value) {
    Control& c = control(controlName);
    c.text = value;
    onChange(c);
}

void Dialog::choose(const std::string& controlName, const std::string& item) {
    Control& c = control(controlName);
    c.text = item;
    onClick(c);
}

void Dialog::setChecked(const std::string& controlName, bool value) {
    Control& c = control(controlName);
    c.checked = value;
    onClick(c);
}

void Dialog::selectOption(const std::string& controlName) {
    Control& chosen = control(controlName);
    for (auto& c : controls_)
        if (c.kind() == ControlKind::OptionButton && c.decl->frame == chosen.decl->frame)
            c.checked = false;
    chosen.checked = true;
    onClick(chosen);
}

void Dialog::click(const std::string& controlName) { onClick(control(controlName)); }

namespace {
std::optional<bool> parseSwitch(std::string v) {
    std::transform(v.begin(), v.end(), v.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    if (v == "1" || v == "true" || v == "yes" || v == "on") return true;
    if (v == "0" || v == "false" || v == "no" || v == "off") return false;
    return std::nullopt;
}
}  // namespace

void Dialog::apply(const std::string& controlName, const std::string& value) {
    Control& c = control(controlName);
    auto badValue = [&](const char* expected) {
        return ControlValueError(decl_.name + "." + controlName + ": '" + value + "' is not " +
                                 expected);
    };
    switch (c.kind()) {
        case ControlKind::List:
            if (std::find(c.items.begin(), c.items.end(), value) != c.items.end())
                choose(controlName, value);
            else
                type(controlName, value);
            return;
        case ControlKind::TextBox:
            type(controlName, value);
            return;
        case ControlKind::CheckBox: {
            auto on = parseSwitch(value);
            if (!on) throw badValue("1 or 0");
            setChecked(controlName, *on);
            return;
        }
        case ControlKind::OptionButton: {
            auto on = parseSwitch(value);
            if (!on || !*on) throw badValue("1 (an option button can only be chosen)");
            selectOption(controlName);
            return;
        }
        case ControlKind::Button:
            if (!value.empty() && parseSwitch(value) != true)
                throw badValue("1 (a button is clicked)");
            click(controlName);
            return;
        default:
            throw badValue("settable (the control only shows information)");
    }
}

const Control& Dialog::button(ButtonRole role) const {
    for (const auto& c : controls_)
        if (c.kind() == ControlKind::Button && c.decl->role == role) return c;
    throw std::logic_error(decl_.name + " declares no " +
                           (role == ButtonRole::Ok ? "OK" : "Cancel") + " button");
}

void Dialog::pressOk() { click(button(ButtonRole::Ok).name()); }
void Dialog::pressCancel() { click(button(ButtonRole::Cancel).name()); }

void Dialog::unload() {
    if (!loaded_) return;
    loaded_ = false;
    onUnload();
    Forms::discard(*this);
}

void Dialog::show(bool modal) {
    load();
    userInterface().showDialog(*this, modal);
}

// ---- Forms -------------------------------------------------------------------------------

namespace {
struct FormStore {
    std::map<std::type_index, std::unique_ptr<Dialog>> live;
    std::vector<std::unique_ptr<Dialog>> discarded;
};
FormStore& store() {
    static FormStore s;
    return s;
}
}  // namespace

Dialog* Forms::find(std::type_index type) {
    auto it = store().live.find(type);
    return it == store().live.end() ? nullptr : it->second.get();
}

Dialog& Forms::add(std::type_index type, std::unique_ptr<Dialog> dialog) {
    return *(store().live[type] = std::move(dialog));
}

bool Forms::anyLoaded() {
    return std::any_of(store().live.begin(), store().live.end(),
                       [](const auto& kv) { return kv.second->isLoaded(); });
}

void Forms::discard(Dialog& dialog) {
    auto& live = store().live;
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (it->second.get() == &dialog) {
            store().discarded.push_back(std::move(it->second));
            live.erase(it);
            return;
        }
    }
}

void Forms::collect() { store().discarded.clear(); }

void Forms::reset() {
    while (!store().live.empty()) {
        Dialog& d = *store().live.begin()->second;
        if (d.isLoaded())
            d.unload();
        else
            discard(d);
    }
    collect();
}

}  // namespace ondu
