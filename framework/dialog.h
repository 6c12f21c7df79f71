#pragma once
// Dialogs: plain classes that hold their controls and the handlers a window would have.
//
// A dialog declares its controls once (name, kind, label, frame, default, help). That one
// declaration drives the command-line options, `ondu describe` and the desktop widgets; hosts
// change controls only through the actions below, which fire the same events a window would.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/ui.h"

namespace ondu {

class IApplication;

/// The system window-text colour and the red that marks a text box whose text is not a number.
inline constexpr long kWindowTextColor = 0x80000008;
inline constexpr long kRed = 255;

enum class ControlKind { List, TextBox, CheckBox, OptionButton, Button, Label, ProgressBar };
enum class ButtonRole { None, Ok, Cancel };

/// What a control's value means. None takes the kind's natural type (lists and text boxes: text;
/// check boxes: check; option buttons: option).
enum class ValueType { None, Text, Number, WholeNumber, Check, Option, Path };

/// Which fields a field list offers.
enum class FieldFilter { Any, Numeric, Text };

/// Where a list's items come from; the framework fills the list on load and refills field
/// lists when their parent list is chosen.
struct ListSource {
    enum class Kind {
        None,      ///< filled by the dialog itself, or fixed items
        Layers,    ///< feature layers of a shape kind, with the Z/M the role requires
        Fields,    ///< fields of the layer named by the parent list
        Tables,    ///< stand-alone tables of the map
        Surfaces,  ///< raster and TIN layers
    };
    Kind kind = Kind::None;
    channel::ShapeKind shape = channel::ShapeKind::Polyline;  ///< Layers
    bool needZ = false;                                       ///< Layers
    bool needM = false;                                       ///< Layers
    std::string parent = {};                                  ///< Fields: the layer list
    FieldFilter fields = FieldFilter::Any;                    ///< Fields
};

/// The feature layers that may play a role, as lists offer them.
ListSource layersFor(const channel::LayerRole& role);
/// The fields of the layer chosen in `parentList`.
ListSource fieldsOf(std::string parentList, FieldFilter filter = FieldFilter::Any);

/// A message box: its text and title.
struct Warning {
    std::string text = {};
    std::string title = "Warning";
    bool empty() const { return text.empty(); }
};

/// A browse button's file choice: the text box it fills, the filter, open or save.
struct Browse {
    std::string target = {};
    std::string filter = {};
    bool save = false;
    bool empty() const { return target.empty(); }
};

/// One control, declared once: how it looks and what it means. Written with designated
/// initializers, a dialog's declaration reads as a table.
struct ControlDecl {
    std::string name;  ///< "cmbCenterline", "txtInput", "optMedium", ...
    ControlKind kind;
    std::string label = {};  ///< caption or the label shown beside the control
    std::string frame = {};  ///< frame holding it; option buttons of one frame exclude each other
    /// Text of lists and text boxes ("1"/"0" for check boxes and options). For a list with a
    /// source: the name proposed on opening, shown when listed (else the first item).
    std::string defaultValue = {};
    std::string help = {};
    ButtonRole role = ButtonRole::None;
    ValueType type = ValueType::None;
    ListSource source = {};
    /// Field lists: the name proposed when the parent list is chosen again; empty: the same as
    /// on opening.
    std::string reproposed = {};
    /// Field lists: the first real field (maputil::firstRealField) is proposed when the parent
    /// list is chosen again. A proposed name the list lacks falls back to it as well.
    bool reproposesFirst = false;
    /// Shown, in declaration order, when OK is pressed while the control holds no choice.
    Warning required = {};
    /// Number boxes: shown, in declaration order, when OK is pressed while the text is no number.
    Warning invalid = {};
    /// Number boxes: rewritten whenever their text changes, as a user types: a text that is no
    /// number is emptied and a fraction is rounded to the nearest whole number (halves to the
    /// even neighbour, "2.5" gives "2"); whole numbers stay as typed.
    bool roundsAsTyped = false;
    /// The check box or option button that enables this control while it is on.
    std::string enabledBy = {};
    Browse browse = {};  ///< browse buttons

    /// The value type, the kind's natural one when none is declared.
    ValueType valueType() const;
    /// Number and whole-number boxes: red while their text is not such a number.
    bool numeric() const {
        return valueType() == ValueType::Number || valueType() == ValueType::WholeNumber;
    }
};

/// The OK and Cancel buttons most dialogs end with: "OK" and "Cancel" captions, the help given.
ControlDecl okButton(std::string help, std::string name = "cmdOK");
ControlDecl cancelButton(std::string help, std::string name = "cmdCancel");
/// A "..." button that chooses a file into `target`.
ControlDecl browseButton(std::string name, std::string target, std::string filter, bool save,
                         std::string help, std::string frame = {});

struct DialogDecl {
    std::string name;                   ///< class name, "frmExportSDFtoXML"
    std::string caption;                ///< window caption
    std::vector<ControlDecl> controls;  ///< in display order

    const ControlDecl* find(const std::string& controlName) const;
    /// Whether any list takes its items from the map (the dialog then needs the map on load).
    bool readsMap() const;
};

const char* controlKindName(ControlKind kind);
const char* valueTypeName(ValueType type);
const char* listSourceName(ListSource::Kind kind);

struct Control {
    explicit Control(const ControlDecl* declaration) : decl(declaration) {}

    const ControlDecl* decl;
    std::string text;                ///< lists, text boxes, labels, buttons (caption)
    std::vector<std::string> items;  ///< lists
    bool checked = false;            ///< check boxes (value 1) and option buttons (value true)
    bool enabled = true;
    bool visible = true;
    long foreColor = kWindowTextColor;
    long minimum = 0, maximum = 100, value = 0;  ///< progress bars

    const std::string& name() const { return decl->name; }
    ControlKind kind() const { return decl->kind; }
    void clear() {
        items.clear();
        text.clear();
    }
    void addItem(const std::string& item) { items.push_back(item); }
    /// Whether everything a window shows of the control is the same.
    bool sameState(const Control& other) const;
};

/// Colours a numeric text box: red while its text is not a number (a whole number for a
/// whole-number box), window text otherwise.
void recolourAsNumber(Control& textBox);
/// Whether a number box holds a value of its type.
bool holdsValueOfType(const Control& box);
/// A whole number written as text ("12", "1e3"); nothing for fractions and other text.
std::optional<long long> parseWholeNumber(std::string_view text);
/// The text a box that rounds as typed shows for `text` (see ControlDecl::roundsAsTyped).
std::string roundedAsTyped(const std::string& text);
/// Whether a numeric text box holds a number (it is not red).
bool holdsNumber(const Control& textBox);

/// The choice behind a browse button: an open (the file must exist) or save (ask before
/// replacing) dialog with the filter given and its second entry preselected.
FileChoice openFileChoice(const std::string& filter);
FileChoice saveFileChoice(const std::string& filter);
/// Asks the host for a file and puts the chosen path into the text box (unchanged on cancel).
void browseInto(Control& textBox, FileChoice choice);

/// A value that does not suit its control ("maybe" for a check box); the message names both.
class ControlValueError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

/// Checks a value given as text against the control's kind and type (check boxes and option
/// buttons: 1/0, true/false, yes/no; number boxes: a number; labels take none). Lists are
/// checked against their items when the dialog applies the value. Throws ControlValueError
/// naming the dialog and control.
void checkValueType(const std::string& dialogName, const ControlDecl& control,
                    const std::string& value);

/// Told when a control's state changes, so that a window host can redraw it.
class IDialogObserver {
public:
    virtual ~IDialogObserver() = default;
    virtual void controlChanged(const Dialog& dialog, const Control& control) = 0;
};

/// A dialog: its controls and the handlers a window would have. The framework carries out what
/// the declaration says (lists filled on load and refilled when their parent is chosen, number
/// boxes recoloured, controls enabled by their option, browse buttons, the empty-choice and
/// number warnings on OK, Cancel unloading); a tool's dialog overrides only what is its own.
class Dialog {
public:
    explicit Dialog(const DialogDecl& decl);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    const DialogDecl& declaration() const { return decl_; }
    const std::string& name() const { return decl_.name; }
    const std::string& caption() const { return decl_.caption; }

    Control& control(const std::string& name);
    const Control& control(const std::string& name) const;
    std::vector<Control>& controls() { return controls_; }
    const std::vector<Control>& controls() const { return controls_; }

    // What a user does; each fires the event a window would.
    void load();  ///< lists filled, then the load handler
    void type(const std::string& controlName,
              const std::string& text);  ///< list or text box: change
    void choose(const std::string& controlName, const std::string& item);  ///< list pick: click
    void setChecked(const std::string& controlName, bool checked);         ///< check box: click
    void selectOption(const std::string& controlName);                     ///< option button: click
    void click(const std::string& controlName);                            ///< button: click
    /// Applies a value given as text, by the control's kind and type (lists: a listed item is
    /// chosen; a list filled from the map takes nothing else, other lists take typed text; check
    /// boxes and option buttons: 1/0, true/false, yes/no; text boxes take any text, as typed;
    /// buttons: clicked). Throws ControlValueError, naming the control, for a value the control
    /// cannot take.
    void apply(const std::string& controlName, const std::string& value);
    void pressOk();
    void pressCancel();

    /// Closes the dialog: the unload handler runs and the instance is discarded.
    void unload();
    bool isLoaded() const { return loaded_; }

    /// Shows the dialog through the host; loads it first when needed.
    void show(bool modal);

    /// Called by commands that hand the dialog the application before showing it.
    virtual void init(IApplication* app) { (void)app; }

    /// The observer told of every change of a control's state (nullptr: none).
    void setObserver(IDialogObserver* observer) { observer_ = observer; }
    /// Tells the observer that the control changed outside an event (a run's progress).
    void notifyChanged(const Control& control);

protected:
    virtual void onLoad() {}
    virtual void onChange(Control& control) { (void)control; }
    /// Clicks on lists, check boxes, option buttons and buttons other than OK, Cancel and
    /// browse buttons.
    virtual void onClick(Control& control) { (void)control; }
    /// OK, once every declared warning has passed.
    virtual void onOk() {}
    /// Cancel: unloads the dialog.
    virtual void onCancel() { unload(); }
    virtual void onUnload() {}

    std::string& text(const std::string& controlName) { return control(controlName).text; }
    const std::string& text(const std::string& controlName) const {
        return control(controlName).text;
    }
    bool checked(const std::string& controlName) const { return control(controlName).checked; }
    /// The number in a number box (nothing when it holds none).
    std::optional<double> number(const std::string& controlName) const;

    /// A tool's OK: runs `body` under the error boundary in that style; unloads the dialog when
    /// it completed, leaves it open after a failure (already shown).
    void runThenUnload(ErrorStyle style, const std::string& routine,
                       const std::function<void()>& body);

    /// The declared warnings in declaration order: the first that applies is shown and the
    /// answer is false.
    bool passesWarnings();
    /// Refills the lists whose source is the map (on load) or the field lists of `parent`.
    void fillLists();
    void refillFieldLists(const std::string& parent, bool reproposing);

private:
    class EventScope;
    void applyDefaults();
    void applyEnableRules();
    const Control& button(ButtonRole role) const;

    const DialogDecl& decl_;
    std::vector<Control> controls_;
    bool loaded_ = false;
    IDialogObserver* observer_ = nullptr;
    int eventDepth_ = 0;
    std::vector<Control> before_;  ///< the controls as the outermost running event found them
};

/// A dialog's own progress bar and status label as the progress of a run: the message goes to
/// the label, the range and steps to the bar, and the host is told of each change. A cancel
/// asked for on the host's status bar (Escape, Ctrl-C) reaches the run through it.
class DialogProgressBar : public IProgressBar {
public:
    DialogProgressBar(Dialog& dialog, const std::string& label, const std::string& bar);
    void show(const std::string& message, long minimum, long maximum, long step) override;
    void stepIt() override;
    void hide() override;
    bool cancelled() override;

private:
    Dialog& dialog_;
    Control& label_;
    Control& bar_;
    long step_ = 1;
};

/// The single, lazily created instance of each dialog class. Unloading discards the instance; it
/// is destroyed at the next `collect()`, after its handlers have returned.
class Forms {
public:
    template <class T>
    static T& get() {
        if (Dialog* d = find(typeid(T))) return static_cast<T&>(*d);
        return static_cast<T&>(add(typeid(T), std::make_unique<T>()));
    }
    static bool anyLoaded();
    static void discard(Dialog& dialog);
    static void collect();
    /// Unloads and destroys every instance (a host shutting down, a test starting afresh).
    static void reset();

private:
    static Dialog* find(std::type_index type);
    static Dialog& add(std::type_index type, std::unique_ptr<Dialog> dialog);
};

}  // namespace ondu
