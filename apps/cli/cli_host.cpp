#include "apps/cli/cli_host.h"
#include "apps/cli/picture_commands.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>

#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "framework/shared_state.h"
#include "morphology/beta_cross_sections.h"
#include "tools/registry.h"

namespace ondu::cli {

namespace {

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

/// Ctrl-C asks the running tool to stop at its next step instead of killing the process, so its
/// edit session is discarded cleanly.
volatile std::sig_atomic_t g_interrupted = 0;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

}  // namespace

std::vector<ControlSetting> resolveSettings(const std::vector<std::string>& sets,
                                            const std::vector<DialogEntry>& entries) {
    std::vector<const DialogDecl*> dialogs;
    for (const auto& e : entries) dialogs.push_back(e.decl);
    std::vector<ControlSetting> resolved;
    for (const auto& set : sets) {
        auto eq = set.find('=');
        if (eq == std::string::npos)
            throw UsageError("--set " + set + ": expected [FORM.]CONTROL=VALUE");
        std::string key = set.substr(0, eq);
        std::string value = set.substr(eq + 1);
        std::string form;
        if (auto dot = key.find('.'); dot != std::string::npos) {
            form = key.substr(0, dot);
            key = key.substr(dot + 1);
        }
        const DialogDecl* target = nullptr;
        for (const DialogDecl* d : dialogs) {
            if (!form.empty() && d->name != form) continue;
            if (d->find(key)) {
                target = d;
                break;
            }
        }
        if (!target) {
            if (!form.empty() && std::none_of(dialogs.begin(), dialogs.end(),
                                              [&](auto* d) { return d->name == form; }))
                throw UsageError("unknown form " + form);
            throw UsageError("unknown control " + (form.empty() ? key : form + "." + key));
        }
        try {
            checkValueType(target->name, *target->find(key), value);
        } catch (const ControlValueError& e) {
            throw UsageError(std::string("--set ") + e.what());
        }
        resolved.push_back({target->name, key, value});
    }
    return resolved;
}

// ---- progress ----------------------------------------------------------------------------

void TerminalProgress::show(const std::string& message, long minimum, long maximum, long step) {
    message_ = message;
    minimum_ = minimum;
    maximum_ = maximum;
    step_ = step;
    value_ = minimum;
    visible_ = true;
    draw();
}

void TerminalProgress::stepIt() {
    value_ = std::min(maximum_, value_ + step_);
    draw();
}

void TerminalProgress::hide() {
    if (visible_ && isTerminal(STDERR_FILENO)) std::cerr << "\r\033[K" << std::flush;
    visible_ = false;
}

bool TerminalProgress::cancelled() { return g_interrupted != 0; }

void TerminalProgress::draw() {
    if (!visible_ || !isTerminal(STDERR_FILENO)) return;
    const long span = std::max(1L, maximum_ - minimum_);
    const int width = 30;
    const int filled = static_cast<int>((value_ - minimum_) * width / span);
    std::cerr << "\r" << message_ << " [" << std::string(filled, '#')
              << std::string(width - filled, ' ') << "] " << (value_ - minimum_) << "/" << span
              << std::flush;
}

// ---- user interface ----------------------------------------------------------------------

CliUserInterface::CliUserInterface(std::vector<ControlSetting> settings,
                                   std::deque<std::string> answers, bool cancel)
    : settings_(std::move(settings)), answers_(std::move(answers)), cancel_(cancel) {}

std::optional<std::string> CliUserInterface::nextAnswer(const std::string& question) {
    if (!answers_.empty()) {
        std::string a = answers_.front();
        answers_.pop_front();
        return a;
    }
    if (!isTerminal(STDIN_FILENO)) return std::nullopt;
    std::cerr << question << " " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
}

namespace {
const char* buttonChoices(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OKCancel:
            return "(ok/cancel)";
        case MsgButtons::YesNo:
            return "(yes/no)";
        case MsgButtons::YesNoCancel:
            return "(yes/no/cancel)";
        default:
            return "";
    }
}

MsgAnswer defaultAnswer(MsgButtons buttons) {
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                              : MsgAnswer::OK;
}

std::optional<MsgAnswer> parseAnswer(const std::string& text, MsgButtons buttons) {
    const std::string a = lower(text);
    const bool yesNo = buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel;
    const bool cancellable = buttons != MsgButtons::OK && buttons != MsgButtons::YesNo;
    if (yesNo && (a == "yes" || a == "y")) return MsgAnswer::Yes;
    if (yesNo && (a == "no" || a == "n")) return MsgAnswer::No;
    if (!yesNo && (a == "ok" || a.empty())) return MsgAnswer::OK;
    if (cancellable && a == "cancel") return MsgAnswer::Cancel;
    return std::nullopt;
}
}  // namespace

MsgAnswer CliUserInterface::messageBox(const std::string& text, const std::string& title,
                                       MsgButtons buttons, MsgIcon) {
    std::cerr << "[" << title << "] " << text << std::endl;
    if (buttons == MsgButtons::OK) return MsgAnswer::OK;
    auto answer = nextAnswer(buttonChoices(buttons));
    if (!answer) return defaultAnswer(buttons);
    auto parsed = parseAnswer(*answer, buttons);
    if (!parsed)
        throw UsageError("answer '" + *answer + "' does not fit the question " +
                         buttonChoices(buttons));
    return *parsed;
}

std::optional<std::string> CliUserInterface::inputBox(const std::string& prompt,
                                                      const std::string& title,
                                                      const std::string& defaultText) {
    std::cerr << "[" << title << "] " << prompt << std::endl;
    auto answer = nextAnswer("[" + defaultText + "]");
    if (!answer) return defaultText;
    return answer;
}

std::optional<std::string> CliUserInterface::chooseFile(const FileChoice& choice) {
    auto answer = nextAnswer(choice.save ? "save as:" : "open:");
    if (!answer || answer->empty()) return std::nullopt;
    if (choice.mustExist && !std::filesystem::exists(*answer))
        throw UsageError("file " + *answer + " does not exist");
    return answer;
}

void CliUserInterface::showDialog(Dialog& dialog, bool) {
    ++dialogsShown_;
    for (const auto& s : settings_) {
        if (s.form != dialog.name() || !dialog.isLoaded()) continue;
        try {
            dialog.apply(s.control, s.value);
        } catch (const ControlValueError& e) {
            throw UsageError(std::string("--set ") + e.what());
        }
    }
    if (!dialog.isLoaded()) return;
    if (cancel_)
        dialog.pressCancel();
    else
        dialog.pressOk();
}

// ---- sub-commands ------------------------------------------------------------------------

namespace {

std::unique_ptr<CommandBase> findCommand(const std::string& key) {
    bool ambiguous = false;
    auto command = toolCatalogue().create(key, &ambiguous);
    if (ambiguous) throw UsageError("command name " + key + " is not unique: use the class name");
    if (!command) throw UsageError("unknown command " + key);
    return command;
}

std::unique_ptr<MapDocument> openMaps(const std::vector<std::string>& maps) {
    auto doc = std::make_unique<MapDocument>();
    try {
        for (const auto& m : maps) doc->add(m);
    } catch (const HostError& e) {
        throw UsageError(e.what());
    }
    return doc;
}

int listCommands() {
    for (const auto& info : commandInfos()) {
        auto c = toolCatalogue().createByClass(info.className);
        std::cout << progID(info.className) << '\t' << c->Name() << '\t' << c->Caption() << '\t'
                  << c->Category() << '\t' << c->Tooltip() << '\n';
    }
    return kCompleted;
}

void printItem(const std::string& indent, const ItemDef& item, const std::string& caption) {
    if (item.Group) std::cout << indent << "-\n";
    std::cout << indent << caption << '\t' << item.ID << '\n';
}

int printToolbar() {
    const auto& catalogue = toolCatalogue();
    auto toolbar = catalogue.createToolBar();
    std::cout << toolbar->Caption() << '\t' << progID(toolbarDefinition().className()) << '\n';
    for (long i = 0; i < toolbar->ItemCount(); ++i) {
        ItemDef menuItem;
        toolbar->GetItemInfo(i, menuItem);
        const std::string menuClass = menuItem.ID.substr(std::string(kLibraryName).size() + 1);
        auto menu = catalogue.createMenu(menuClass);
        printItem("  ", menuItem, menu->Caption());
        for (long j = 0; j < menu->ItemCount(); ++j) {
            ItemDef item;
            menu->GetItemInfo(j, item);
            printItem("    ", item, catalogue.create(item.ID)->Caption());
        }
    }
    return kCompleted;
}

const char* layerKindName(LayerKind kind) {
    switch (kind) {
        case LayerKind::Feature:
            return "feature";
        case LayerKind::Raster:
            return "raster";
        case LayerKind::Tin:
            return "tin";
        default:
            return "other";
    }
}

const char* shapeName(ShapeType type) {
    switch (type) {
        case ShapeType::Point:
            return "point";
        case ShapeType::Multipoint:
            return "multipoint";
        case ShapeType::Polyline:
            return "polyline";
        case ShapeType::Polygon:
            return "polygon";
        default:
            return "none";
    }
}

int listLayers(MapDocument& map) {
    // A raster shows its size in cells and its cell size under shape and Z/M, a TIN its
    // triangles under shape.
    auto printSurfaceColumns = [](ILayer& layer) {
        try {
            if (IRasterLayer* raster = layer.asRasterLayer()) {
                const RasterDatasetPtr dataset = raster->raster();
                std::cout << '\t' << dataset->columns() << " x " << dataset->rows()
                          << " cells\tcell " << dataset->cellWidth() << "\t\t\n";
                return true;
            }
            if (ITinLayer* tin = layer.asTinLayer()) {
                std::cout << '\t' << tin->tin()->triangleCount() << " triangles\t\t\t\n";
                return true;
            }
        } catch (const HostError&) {
            std::cout << "\t(missing data source)\t\t\t\n";
            return true;
        }
        return false;
    };
    std::cout << "name\tkind\tshape\tZ/M\tfeatures\tselected\n";
    for (int i = 0; i < map.layerCount(); ++i) {
        ILayer& layer = map.layer(i);
        std::cout << layer.name() << '\t' << layerKindName(layer.kind());
        if (printSurfaceColumns(layer)) continue;
        IFeatureLayer* fl = layer.asFeatureLayer();
        IFeatureClass* cls = fl ? fl->featureClass() : nullptr;
        if (fl && !cls) {
            std::cout << "\t(missing data source)\t\t\t\n";
            continue;
        }
        if (!cls) {
            std::cout << "\t\t\t\t\n";
            continue;
        }
        const Field& shape = cls->field(cls->findField(cls->shapeFieldName()));
        std::string zm = std::string(shape.hasZ ? "Z" : "") + (shape.hasM ? "M" : "");
        std::cout << '\t' << shapeName(cls->shapeType()) << '\t' << (zm.empty() ? "-" : zm) << '\t'
                  << cls->featureCount(nullptr) << '\t' << fl->selectionSet().count() << '\n';
    }
    for (int i = 0; i < map.tableCount(); ++i)
        std::cout << map.table(i).name() << "\ttable\t\t\t" << map.table(i).featureCount(nullptr)
                  << "\t\n";
    return kCompleted;
}

const char* shapeKindName(channel::ShapeKind kind) {
    switch (kind) {
        case channel::ShapeKind::Point:
            return "point";
        case channel::ShapeKind::Polygon:
            return "polygon";
        default:
            return "polyline";
    }
}

const char* fieldFilterName(FieldFilter filter) {
    switch (filter) {
        case FieldFilter::Numeric:
            return "numeric";
        case FieldFilter::Text:
            return "text";
        default:
            return "any";
    }
}

const char* roleName(ButtonRole role) {
    switch (role) {
        case ButtonRole::Ok:
            return "ok";
        case ButtonRole::Cancel:
            return "cancel";
        default:
            return "";
    }
}

/// What the declaration says of a control beyond its caption, one phrase each.
std::vector<std::string> rulesOf(const ControlDecl& c) {
    std::vector<std::string> rules;
    if (c.valueType() != ValueType::None)
        rules.push_back(std::string("type ") + valueTypeName(c.valueType()));
    const ListSource& source = c.source;
    if (source.kind == ListSource::Kind::Layers)
        rules.push_back(std::string("lists ") + shapeKindName(source.shape) + " layers" +
                        (source.needZ ? " with Z" : "") + (source.needM ? " with M" : ""));
    else if (source.kind == ListSource::Kind::Fields)
        rules.push_back(std::string("lists ") + fieldFilterName(source.fields) + " fields of " +
                        source.parent);
    else if (source.kind != ListSource::Kind::None)
        rules.push_back(std::string("lists ") + listSourceName(source.kind));
    if (source.kind != ListSource::Kind::None) {
        rules.push_back(c.defaultValue.empty() ? "proposes the first"
                                               : "proposes " + c.defaultValue + ", else the first");
        if (!c.reproposed.empty())
            rules.push_back("proposes " + c.reproposed + " when " + source.parent +
                            " is chosen again");
    }
    if (!c.required.empty())
        rules.push_back("required: [" + c.required.title + "] " + c.required.text);
    if (c.numeric()) rules.push_back("red while not a number");
    if (!c.invalid.empty()) rules.push_back("on OK: [" + c.invalid.title + "] " + c.invalid.text);
    if (!c.enabledBy.empty()) rules.push_back("enabled by " + c.enabledBy);
    if (!c.browse.empty())
        rules.push_back(std::string(c.browse.save ? "save" : "open") + " file into " +
                        c.browse.target + " (" + c.browse.filter + ")");
    if (c.role != ButtonRole::None) rules.push_back(std::string("presses ") + roleName(c.role));
    return rules;
}

void printDialog(const Dialog& dialog, bool withItems) {
    const DialogDecl& decl = dialog.declaration();
    std::cout << decl.name << "\t\"" << decl.caption << "\"\n";
    for (const auto& c : dialog.declaration().controls) {
        if (c.kind == ControlKind::Label || c.kind == ControlKind::ProgressBar) continue;
        const Control& state = dialog.control(c.name);
        std::cout << "  " << c.name << '\t' << controlKindName(c.kind) << '\t' << c.label;
        if (!c.frame.empty()) std::cout << " [" << c.frame << "]";
        std::string value = c.kind == ControlKind::CheckBox || c.kind == ControlKind::OptionButton
                                ? (state.checked ? "1" : "0")
                                : (c.kind == ControlKind::Button ? "" : state.text);
        std::cout << '\t' << value << '\t' << c.help << '\n';
        std::string rules;
        for (const auto& rule : rulesOf(c)) rules += (rules.empty() ? "" : "; ") + rule;
        if (!rules.empty()) std::cout << "      " << rules << '\n';
        if (withItems)
            for (const auto& item : state.items) std::cout << "    - " << item << '\n';
    }
}

nlohmann::json warningJson(const Warning& w) {
    if (w.empty()) return nullptr;
    return {{"text", w.text}, {"title", w.title}};
}

nlohmann::json controlJson(const ControlDecl& c, const Control& state, bool withState) {
    nlohmann::json j = {{"name", c.name},
                        {"kind", controlKindName(c.kind)},
                        {"type", valueTypeName(c.valueType())},
                        {"label", c.label},
                        {"frame", c.frame},
                        {"default", c.defaultValue},
                        {"help", c.help}};
    if (c.role != ButtonRole::None) j["role"] = roleName(c.role);
    if (c.source.kind != ListSource::Kind::None) {
        nlohmann::json source = {{"kind", listSourceName(c.source.kind)}};
        if (c.source.kind == ListSource::Kind::Layers) {
            source["shape"] = shapeKindName(c.source.shape);
            source["needZ"] = c.source.needZ;
            source["needM"] = c.source.needM;
        }
        if (c.source.kind == ListSource::Kind::Fields) {
            source["parent"] = c.source.parent;
            source["fields"] = fieldFilterName(c.source.fields);
            if (!c.reproposed.empty()) source["reproposed"] = c.reproposed;
        }
        j["source"] = source;
    }
    if (!c.required.empty()) j["required"] = warningJson(c.required);
    if (c.numeric()) j["redWhileNotANumber"] = true;
    if (!c.invalid.empty()) j["invalid"] = warningJson(c.invalid);
    if (!c.enabledBy.empty()) j["enabledBy"] = c.enabledBy;
    if (!c.browse.empty())
        j["browse"] = {
            {"target", c.browse.target}, {"filter", c.browse.filter}, {"save", c.browse.save}};
    if (withState) {
        j["state"] = {{"text", state.text}, {"checked", state.checked}, {"enabled", state.enabled}};
        if (c.kind == ControlKind::List) j["state"]["items"] = state.items;
    }
    return j;
}

nlohmann::json dialogJson(const Dialog& dialog, bool withState) {
    nlohmann::json controls = nlohmann::json::array();
    for (const auto& c : dialog.declaration().controls)
        controls.push_back(controlJson(c, dialog.control(c.name), withState));
    return {{"name", dialog.name()}, {"caption", dialog.caption()}, {"controls", controls}};
}

/// Prints a command's dialogs; with a map, each dialog is loaded (lists filled from the map, as
/// a click would) and unloaded again without pressing anything.
int describe(const std::string& key, const std::vector<std::string>& maps, bool json) {
    auto command = findCommand(key);
    const CommandInfo& info = command->info();
    auto dialogs = command->dialogs();
    nlohmann::json out = {{"progID", progID(info.className)},
                          {"caption", info.caption},
                          {"dialogs", nlohmann::json::array()}};
    if (!json) {
        std::cout << progID(info.className) << '\t' << info.caption << '\n';
        if (dialogs.empty()) std::cout << "  (not available yet)\n";
    }
    HostApplication app(openMaps(maps));
    SharedReferencesScope shared;
    CliUserInterface ui({}, {}, true);
    ScopedUserInterface installed(ui);
    command->OnCreate(&app);
    for (const auto& entry : dialogs) {
        Dialog& dialog = entry.instance();
        if (!maps.empty()) dialog.load();
        if (json)
            out["dialogs"].push_back(dialogJson(dialog, !maps.empty()));
        else
            printDialog(dialog, !maps.empty());
        dialog.unload();
    }
    Forms::reset();
    if (json) std::cout << out.dump(2) << '\n';
    return kCompleted;
}

/// An object id of a --select list; a usage error names the option when it is none.
long long objectId(const std::string& text, const std::string& spec) {
    const auto first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    const std::string digits = text.substr(first, last - first + 1);
    long long id = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (error != std::errc() || end != digits.data() + digits.size())
        throw UsageError("--select " + spec + ": '" + digits +
                         "' is not an object id (a whole number up to " +
                         std::to_string(std::numeric_limits<long long>::max()) + ")");
    return id;
}

void applySelection(MapDocument& map, const std::string& spec) {
    auto eq = spec.find('=');
    if (eq == std::string::npos)
        throw UsageError("--select " + spec + ": expected LAYER=WHERE or LAYER=FID,FID");
    const std::string layerName = spec.substr(0, eq);
    const std::string condition = spec.substr(eq + 1);
    ILayer* layer = map.findLayer(layerName);
    IFeatureLayer* fl = layer ? layer->asFeatureLayer() : nullptr;
    if (!fl || !fl->featureClass()) throw UsageError("--select: no feature layer " + layerName);
    ISelectionSet& selection = fl->selectionSet();
    selection.clear();
    const bool idList =
        !condition.empty() && condition.find_first_not_of("0123456789, ") == std::string::npos;
    if (idList) {
        std::stringstream ids(condition);
        std::string id;
        while (std::getline(ids, id, ','))
            if (id.find_first_not_of(' ') != std::string::npos) selection.add(objectId(id, spec));
        return;
    }
    QueryFilter filter;
    filter.whereClause = condition;
    try {
        auto cursor = fl->featureClass()->search(&filter);
        while (auto f = cursor->nextFeature()) selection.add(f->OID());
    } catch (const HostError& e) {
        throw UsageError(std::string("--select: ") + e.what());
    }
}

int writeRiver(const std::string& path, const SampleRiverOptions& options, double valleyCell) {
    try {
        writeSampleRiver(path, options);
        if (valleyCell > 0) {
            const auto folder = std::filesystem::path(path).parent_path();
            writeSampleValley((folder / "valley.tif").string(),
                              (folder / "valley-tin.gpkg").string(), options, valleyCell);
        }
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    } catch (const HostError& e) {
        std::cerr << "ondu: " << e.what() << std::endl;
        return kStopped;
    }
    std::cout << "Wrote " << path << '\n';
    return kCompleted;
}

/// The sample beta parameter table, by default where the beta-sections tool reads it.
int writeBetaParameters(std::string path) {
    if (path.empty()) path = betaParameterPath();
    try {
        writeSampleBetaParameters(path);
    } catch (const HostError& e) {
        std::cerr << "ondu: " << e.what() << std::endl;
        return kStopped;
    }
    std::cout << "Wrote " << path << '\n';
    return kCompleted;
}

struct RunOptions {
    std::string command;
    std::vector<std::string> maps, selects, sets, answers;
    bool cancel = false;
    bool noEditSession = false;
    bool keepEdits = false;
};

/// The edit session of one run: saved only when the run completed (or the user keeps partial
/// edits), discarded on every other way out, exceptions included.
class RunSession {
public:
    RunSession(Editor& editor, bool open, bool keepEdits) : editor_(editor), keep_(keepEdits) {
        if (open) editor_.startEditing();
    }
    ~RunSession() {
        if (editor_.editState() > 0) editor_.stopEditing(keep_);
    }
    void completed() { keep_ = true; }
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

private:
    Editor& editor_;
    bool keep_;
};

int run(const RunOptions& o) {
    auto command = findCommand(o.command);
    auto settings = resolveSettings(o.sets, command->dialogs());
    HostApplication app(openMaps(o.maps));
    SharedReferencesScope shared;
    for (const auto& s : o.selects) applySelection(app.map(), s);
    CliUserInterface ui(std::move(settings), {o.answers.begin(), o.answers.end()}, o.cancel);
    ScopedUserInterface installed(ui);
    struct FormsReset {
        ~FormsReset() { Forms::reset(); }
    } formsReset;
    command->OnCreate(&app);
    RunSession session(app.editor(), !o.noEditSession, o.keepEdits);
    auto previous = std::signal(SIGINT, [](int) { g_interrupted = 1; });
    g_itemsLeftUndone = false;
    command->OnClick();
    std::signal(SIGINT, previous);
    const bool completed = ui.dialogsShown() > 0 && !Forms::anyLoaded();
    if (completed) session.completed();
    if (!completed) return kStopped;
    return g_itemsLeftUndone ? kCompletedPartly : kCompleted;
}

}  // namespace

int runMain(int argc, char** argv) {
    CLI::App app{"ondu: river-channel tools for GIS data", "ondu"};
    app.require_subcommand(1);

    app.add_subcommand("commands", "List the commands: ProgID, Name, Caption, Category, Tooltip");
    app.add_subcommand("toolbar", "Show the toolbar, its menus and their items");

    auto* describeCmd =
        app.add_subcommand("describe", "Show a command's dialogs, their controls and defaults");
    std::string describeKey;
    std::vector<std::string> describeMaps;
    bool describeJson = false;
    describeCmd->add_option("command", describeKey, "ProgID, class name or unique command name")
        ->required();
    describeCmd
        ->add_option("--map", describeMaps, "map document or dataset whose layers fill the lists")
        ->allow_extra_args(false);
    describeCmd->add_flag("--json", describeJson,
                          "print the declarations as JSON (types, list sources, rules, state)");

    auto* layersCmd = app.add_subcommand("layers", "List a map's layers");
    std::vector<std::string> layerMaps;
    layersCmd->add_option("--map", layerMaps, "map document (.json) or vector dataset")
        ->required()
        ->allow_extra_args(false);

    RunOptions runOptions;
    auto* runCmd =
        app.add_subcommand("run", "Click a command: load its dialog, set controls, press OK");
    runCmd->add_option("command", runOptions.command, "ProgID, class name or unique command name")
        ->required();
    runCmd->add_option("--map", runOptions.maps, "map document (.json) or vector dataset")
        ->allow_extra_args(false);
    runCmd
        ->add_option("--select", runOptions.selects,
                     "LAYER=WHERE or LAYER=FID,FID...: a selection for this run")
        ->allow_extra_args(false);
    runCmd
        ->add_option("--set", runOptions.sets,
                     "[FORM.]CONTROL=VALUE, applied in order as if typed or clicked")
        ->allow_extra_args(false);
    runCmd
        ->add_option("--answer", runOptions.answers,
                     "answer to the next question or file choice, in order")
        ->allow_extra_args(false);
    runCmd->add_flag("--cancel", runOptions.cancel, "press Cancel instead of OK");
    runCmd->add_flag("--no-edit-session", runOptions.noEditSession,
                     "run without an open edit session");
    runCmd->add_flag("--keep-edits", runOptions.keepEdits,
                     "save the edit session even when the run stopped or failed part-way");

    SampleRiverOptions river;
    std::string riverPath;
    auto* riverCmd =
        app.add_subcommand("sample-river", "Write a meandering sample river to a GeoPackage");
    riverCmd->add_option("output", riverPath, "GeoPackage to write (replaced)")->required();
    riverCmd->add_option("--length", river.length, "centerline length, map units")
        ->capture_default_str();
    riverCmd->add_option("--wavelength", river.wavelength, "channel length of one meander")
        ->capture_default_str();
    riverCmd
        ->add_option("--amplitude", river.amplitude,
                     "largest distance from the valley axis (0: straight)")
        ->capture_default_str();
    riverCmd
        ->add_option("--segment-length", river.segmentLength, "length of the centerline segments")
        ->capture_default_str();
    riverCmd->add_option("--width", river.width, "channel width")->capture_default_str();
    riverCmd->add_option("--bank-elevation", river.bankElevation, "bank elevation upstream")
        ->capture_default_str();
    riverCmd->add_option("--slope", river.slope, "fall of the bank per unit length")
        ->capture_default_str();
    riverCmd->add_option("--depth", river.depth, "channel depth below the bank")
        ->capture_default_str();
    riverCmd
        ->add_option("--reference-points", river.referencePointCount, "number of reference points")
        ->capture_default_str();
    riverCmd
        ->add_option("--gauging-stations", river.gaugingStationCount,
                     "number of gauging stations beside the centerline")
        ->capture_default_str();
    riverCmd->add_option("--survey-points", river.surveyPointCount, "number of survey points")
        ->capture_default_str();
    riverCmd
        ->add_option("--cross-section-spacing", river.crossSectionSpacing,
                     "distance between surveyed 3D cross-sections (0: none)")
        ->capture_default_str();
    riverCmd
        ->add_option(
            "--bathymetry-cell-size", river.bathymetryCellSize,
            "cell size of a bed raster written beside the river, with bed points (0: none)")
        ->capture_default_str();
    riverCmd->add_option("--epsg", river.epsg, "EPSG code of a projected coordinate system")
        ->capture_default_str();
    double valleyCell = 0;
    riverCmd
        ->add_option("--valley", valleyCell,
                     "also write the valley around the river beside it, as valley.tif (cells of "
                     "this size) and valley-tin.gpkg")
        ->capture_default_str();

    std::string betaTable;
    app.add_subcommand(
           "beta-parameters",
           "Write the sample beta parameter table (illustrative values, not calibrated)")
        ->add_option("--out", betaTable,
                     "GeoPackage to write (default: BetaParameters.gpkg in the work folder)");

    PictureCommands pictures(app, {openMaps, applySelection});
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kUsageError;
    }

    try {
        if (app.got_subcommand("commands")) return listCommands();
        if (app.got_subcommand("toolbar")) return printToolbar();
        if (app.got_subcommand("describe"))
            return describe(describeKey, describeMaps, describeJson);
        if (app.got_subcommand("sample-river")) return writeRiver(riverPath, river, valleyCell);
        if (pictures.chosen()) return pictures.run();
        if (app.got_subcommand("beta-parameters")) return writeBetaParameters(betaTable);
        if (app.got_subcommand("layers")) {
            auto map = openMaps(layerMaps);
            return listLayers(*map);
        }
        return run(runOptions);
    } catch (const UsageError& e) {
        std::cerr << "ondu: " << e.what() << std::endl;
        return kUsageError;
    } catch (const std::exception& e) {
        // Tools trap their own failures; what reaches here failed in the host itself.
        std::cerr << "ondu: " << e.what() << std::endl;
        return kStopped;
    }
}

}  // namespace ondu::cli
