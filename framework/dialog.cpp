#include "framework/dialog.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"

namespace ondu {

const ControlDecl* DialogDecl::find(const std::string& controlName) const {
    for (const auto& c : controls)
        if (c.name == controlName) return &c;
    return nullptr;
}

bool DialogDecl::readsMap() const {
    return std::any_of(controls.begin(), controls.end(), [](const ControlDecl& c) {
        return c.source.kind != ListSource::Kind::None;
    });
}

ListSource layersFor(const channel::LayerRole& role) {
    return {.kind = ListSource::Kind::Layers,
            .shape = role.shape,
            .needZ = role.needZ,
            .needM = role.needM};
}

ControlDecl okButton(std::string help, std::string name) {
    return {.name = std::move(name),
            .kind = ControlKind::Button,
            .label = "OK",
            .help = std::move(help),
            .role = ButtonRole::Ok};
}

ControlDecl cancelButton(std::string help, std::string name) {
    return {.name = std::move(name),
            .kind = ControlKind::Button,
            .label = "Cancel",
            .help = std::move(help),
            .role = ButtonRole::Cancel};
}

ListSource fieldsOf(std::string parentList, FieldFilter filter) {
    return {.kind = ListSource::Kind::Fields, .parent = std::move(parentList), .fields = filter};
}

ControlDecl browseButton(std::string name, std::string target, std::string filter, bool save,
                         std::string help, std::string frame) {
    return {.name = std::move(name),
            .kind = ControlKind::Button,
            .label = "...",
            .frame = std::move(frame),
            .help = std::move(help),
            .browse = {.target = std::move(target), .filter = std::move(filter), .save = save}};
}

ValueType ControlDecl::valueType() const {
    if (type != ValueType::None) return type;
    switch (kind) {
        case ControlKind::List:
        case ControlKind::TextBox:
            return ValueType::Text;
        case ControlKind::CheckBox:
            return ValueType::Check;
        case ControlKind::OptionButton:
            return ValueType::Option;
        default:
            return ValueType::None;
    }
}

const char* valueTypeName(ValueType type) {
    switch (type) {
        case ValueType::Text:
            return "text";
        case ValueType::Number:
            return "number";
        case ValueType::WholeNumber:
            return "whole number";
        case ValueType::Check:
            return "check";
        case ValueType::Option:
            return "option";
        case ValueType::Path:
            return "path";
        default:
            return "none";
    }
}

const char* listSourceName(ListSource::Kind kind) {
    switch (kind) {
        case ListSource::Kind::Layers:
            return "layers";
        case ListSource::Kind::Fields:
            return "fields";
        case ListSource::Kind::Tables:
            return "tables";
        case ListSource::Kind::Surfaces:
            return "surfaces";
        default:
            return "none";
    }
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

bool holdsNumber(const Control& textBox) { return parseNumber(textBox.text).has_value(); }

std::optional<long long> parseWholeNumber(std::string_view text) {
    auto value = parseNumber(text);
    if (!value || *value != std::trunc(*value) || std::abs(*value) > 9.007199254740992e15)
        return std::nullopt;
    return static_cast<long long>(*value);
}

bool holdsValueOfType(const Control& box) {
    if (box.decl->valueType() == ValueType::WholeNumber)
        return parseWholeNumber(box.text).has_value();
    return holdsNumber(box);
}

std::string roundedAsTyped(const std::string& text) {
    const auto value = parseNumber(text);
    if (!value) return {};
    if (*value == std::trunc(*value)) return text;
    return plain(std::nearbyint(*value));  // the default rounding mode sends halves to even
}

void recolourAsNumber(Control& textBox) {
    textBox.foreColor = holdsValueOfType(textBox) ? kWindowTextColor : kRed;
}

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

bool Control::sameState(const Control& o) const {
    return text == o.text && items == o.items && checked == o.checked && enabled == o.enabled &&
           visible == o.visible && foreColor == o.foreColor && minimum == o.minimum &&
           maximum == o.maximum && value == o.value;
}

/// Marks an event: the outermost one compares the controls before and after and tells the
/// observer of each that changed.
class Dialog::EventScope {
public:
    explicit EventScope(Dialog& dialog) : dialog_(dialog) {
        if (dialog_.eventDepth_++ == 0 && dialog_.observer_) dialog_.before_ = dialog_.controls_;
    }
    ~EventScope() {
        if (--dialog_.eventDepth_ != 0) return;
        // Whoever changed a number box's text, it is red while the text is no number.
        for (auto& c : dialog_.controls_)
            if (c.decl->numeric()) recolourAsNumber(c);
        if (!dialog_.observer_) return;
        const auto& before = dialog_.before_;
        for (std::size_t i = 0; i < before.size() && i < dialog_.controls_.size(); ++i)
            if (!before[i].sameState(dialog_.controls_[i]))
                dialog_.observer_->controlChanged(dialog_, dialog_.controls_[i]);
        dialog_.before_.clear();
    }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    Dialog& dialog_;
};

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
    applyEnableRules();
}

void Dialog::applyEnableRules() {
    for (auto& c : controls_)
        if (!c.decl->enabledBy.empty()) c.enabled = control(c.decl->enabledBy).checked;
}

Control& Dialog::control(const std::string& name) {
    return const_cast<Control&>(std::as_const(*this).control(name));
}

const Control& Dialog::control(const std::string& name) const {
    for (const auto& c : controls_)
        if (c.name() == name) return c;
    throw std::out_of_range(decl_.name + " has no control " + name);
}

std::optional<double> Dialog::number(const std::string& controlName) const {
    return parseNumber(control(controlName).text);
}

void Dialog::notifyChanged(const Control& changed) {
    if (observer_) observer_->controlChanged(*this, changed);
}

void Dialog::load() {
    if (loaded_) return;
    EventScope event(*this);
    loaded_ = true;
    if (decl_.readsMap()) trapped(ErrorStyle::Routine, "loading the form", [this] { fillLists(); });
    onLoad();
}

void Dialog::fillLists() {
    IDocument* document = loadMapDocument();
    const int layerCount = document->focusMap().layerCount();
    for (auto& c : controls_) {
        const ListSource& source = c.decl->source;
        switch (source.kind) {
            case ListSource::Kind::Layers:
                maputil::FillComboBox(document, layerCount, c, source.shape, source.needZ,
                                      source.needM, c.decl->defaultValue);
                break;
            case ListSource::Kind::Tables:
                maputil::FillTableComboBox(document, c);
                break;
            case ListSource::Kind::Surfaces:
                maputil::FillSurfaceComboBox(document, layerCount, c);
                break;
            default:
                break;
        }
    }
    for (const auto& c : controls_)
        if (c.decl->source.kind == ListSource::Kind::Layers ||
            c.decl->source.kind == ListSource::Kind::Tables)
            refillFieldLists(c.name(), false);
}

void Dialog::refillFieldLists(const std::string& parent, bool reproposing) {
    std::vector<Control*> lists;
    for (auto& c : controls_)
        if (c.decl->source.kind == ListSource::Kind::Fields && c.decl->source.parent == parent)
            lists.push_back(&c);
    if (lists.empty()) return;
    const Control& parentList = control(parent);
    ITable* table = nullptr;
    if (parentList.decl->source.kind == ListSource::Kind::Tables)
        table = maputil::SelectTable(g_pMxDoc, parentList.text);
    else if (IFeatureLayer* layer = maputil::SelectLayer(g_pMxDoc, parentList.text))
        table = &maputil::featureClassOf(layer);
    if (!table) return;
    for (Control* list : lists) {
        const ControlDecl& d = *list->decl;
        std::string proposed = reproposing && !d.reproposed.empty() ? d.reproposed : d.defaultValue;
        if (reproposing && d.reproposesFirst) proposed.clear();
        // A name the list lacks falls back to the first real field: showing the identifier key
        // would have the tool read object ids as data.
        maputil::FillTableFieldComboBox(*table, *list, proposed, d.source.fields);
    }
}

void Dialog::type(const std::string& controlName, const std::string& value) {
    EventScope event(*this);
    Control& c = control(controlName);
    c.text = c.decl->roundsAsTyped ? roundedAsTyped(value) : value;
    onChange(c);
}

void Dialog::choose(const std::string& controlName, const std::string& item) {
    EventScope event(*this);
    Control& c = control(controlName);
    c.text = item;
    refillFieldLists(controlName, true);
    onClick(c);
}

void Dialog::setChecked(const std::string& controlName, bool value) {
    EventScope event(*this);
    Control& c = control(controlName);
    c.checked = value;
    applyEnableRules();
    onClick(c);
}

void Dialog::selectOption(const std::string& controlName) {
    EventScope event(*this);
    Control& chosen = control(controlName);
    for (auto& c : controls_)
        if (c.kind() == ControlKind::OptionButton && c.decl->frame == chosen.decl->frame)
            c.checked = false;
    chosen.checked = true;
    applyEnableRules();
    onClick(chosen);
}

void Dialog::click(const std::string& controlName) {
    EventScope event(*this);
    Control& c = control(controlName);
    const Browse& browse = c.decl->browse;
    if (!browse.empty()) {
        browseInto(control(browse.target),
                   browse.save ? saveFileChoice(browse.filter) : openFileChoice(browse.filter));
        return;
    }
    if (c.decl->role == ButtonRole::Ok) {
        if (passesWarnings()) onOk();
        return;
    }
    if (c.decl->role == ButtonRole::Cancel) return onCancel();
    onClick(c);
}

bool Dialog::passesWarnings() {
    for (const auto& c : controls_) {
        if (!c.enabled) continue;
        const ControlDecl& d = *c.decl;
        const Warning* shown = nullptr;
        if (!d.required.empty() && c.text.empty())
            shown = &d.required;
        else if (d.numeric() && !d.invalid.empty() && !holdsValueOfType(c))
            shown = &d.invalid;
        if (shown) {
            MsgBox(shown->text, MsgButtons::OK, shown->title);
            return false;
        }
    }
    return true;
}

namespace {
std::optional<bool> parseSwitch(std::string v) {
    std::transform(v.begin(), v.end(), v.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    if (v == "1" || v == "true" || v == "yes" || v == "on") return true;
    if (v == "0" || v == "false" || v == "no" || v == "off") return false;
    return std::nullopt;
}

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "nothing" : text;
}
}  // namespace

void checkValueType(const std::string& dialogName, const ControlDecl& control,
                    const std::string& value) {
    auto badValue = [&](const std::string& expected) {
        return ControlValueError(dialogName + "." + control.name + ": '" + value + "' is not " +
                                 expected);
    };
    switch (control.kind) {
        case ControlKind::CheckBox:
            if (!parseSwitch(value)) throw badValue("1 or 0");
            return;
        case ControlKind::OptionButton:
            if (parseSwitch(value) != true)
                throw badValue("1 (an option button can only be chosen)");
            return;
        case ControlKind::Button:
            if (!value.empty() && parseSwitch(value) != true)
                throw badValue("1 (a button is clicked)");
            return;
        case ControlKind::List:
            return;
        case ControlKind::TextBox:
            if (control.valueType() == ValueType::Number && !parseNumber(value))
                throw badValue("a number");
            if (control.valueType() == ValueType::WholeNumber && !parseWholeNumber(value))
                throw badValue("a whole number");
            return;
        default:
            throw badValue("settable (the control only shows information)");
    }
}

void Dialog::apply(const std::string& controlName, const std::string& value) {
    Control& c = control(controlName);
    // Text is typed as a user types it: a number box shows red rather than refusing it.
    if (c.kind() != ControlKind::TextBox) checkValueType(decl_.name, *c.decl, value);
    switch (c.kind()) {
        case ControlKind::List: {
            const bool isListed = std::find(c.items.begin(), c.items.end(), value) != c.items.end();
            if (isListed) return choose(controlName, value);
            if (c.decl->source.kind != ListSource::Kind::None)
                throw ControlValueError(decl_.name + "." + controlName + ": '" + value +
                                        "' is not in the list (" + listed(c.items) + ")");
            return type(controlName, value);
        }
        case ControlKind::TextBox:
            return type(controlName, value);
        case ControlKind::CheckBox:
            return setChecked(controlName, *parseSwitch(value));
        case ControlKind::OptionButton:
            return selectOption(controlName);
        default:
            return click(controlName);
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

void Dialog::runThenUnload(ErrorStyle style, const std::string& routine,
                           const std::function<void()>& body) {
    if (trapped(style, routine, body)) unload();
}

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

DialogProgressBar::DialogProgressBar(Dialog& dialog, const std::string& label,
                                     const std::string& bar)
    : dialog_(dialog), label_(dialog.control(label)), bar_(dialog.control(bar)) {}

void DialogProgressBar::show(const std::string& message, long minimum, long maximum, long step) {
    label_.text = message;
    bar_.minimum = minimum;
    bar_.maximum = maximum;
    bar_.value = minimum;
    step_ = step;
    dialog_.notifyChanged(label_);
    dialog_.notifyChanged(bar_);
}

void DialogProgressBar::stepIt() {
    bar_.value = std::min(bar_.maximum, bar_.value + step_);
    dialog_.notifyChanged(bar_);
}

void DialogProgressBar::hide() {
    label_.text.clear();
    bar_.value = bar_.minimum = 0;
    dialog_.notifyChanged(label_);
    dialog_.notifyChanged(bar_);
}

bool DialogProgressBar::cancelled() { return userInterface().statusProgress().cancelled(); }

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
