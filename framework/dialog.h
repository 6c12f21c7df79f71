#pragma once
// Dialogs: plain classes that hold their controls and the handlers a window would have.
//
// A dialog declares its controls once (name, kind, label, frame, default, help). That one
// declaration drives the command-line options, `ondu describe` and the desktop widgets; hosts
// change controls only through the actions below, which fire the same events a window would.

#include <memory>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <vector>

#include "framework/ui.h"

namespace ondu {

class IApplication;

enum class ControlKind { List, TextBox, CheckBox, OptionButton, Button, Label, ProgressBar };
enum class ButtonRole { None, Ok, Cancel };

/// The system window-text colour and the red that marks a text box whose text is not a number.
inline constexpr long kWindowTextColor = 0x80000008;
inline constexpr long kRed = 255;

struct ControlDecl {
    std::string name;  ///< "cmbCenterline", "txtInput", "optMedium", ...
    ControlKind kind;
    std::string label = {};  ///< caption or the label shown beside the control
    std::string frame = {};  ///< frame holding it; option buttons of one frame exclude each other
    std::string defaultValue =
        {};  ///< text of lists and text boxes; "1"/"0" for check boxes and options
    std::string help = {};
    ButtonRole role = ButtonRole::None;
};

struct DialogDecl {
    std::string name;                   ///< class name, "frmExportSDFtoXML"
    std::string caption;                ///< window caption
    std::vector<ControlDecl> controls;  ///< in display order

    const ControlDecl* find(const std::string& controlName) const;
};

const char* controlKindName(ControlKind kind);

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
};

/// Colours a numeric text box: red while its text is not a number, window text otherwise.
void recolourAsNumber(Control& textBox);
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

    // What a user does; each fires the event a window would.
    void load();  ///< defaults, then the load handler
    void type(const std::string& controlName,
              const std::string& text);  ///< list or text box: change
    void choose(const std::string& controlName, const std::string& item);  ///< list pick: click
    void setChecked(const std::string& controlName, bool checked);         ///< check box: click
    void selectOption(const std::string& controlName);                     ///< option button: click
    void click(const std::string& controlName);                            ///< button: click
    /// Applies a value given as text, by the control's kind (lists: a listed item is chosen,
    /// other text is typed; check boxes and option buttons: 1/0, true/false, yes/no; buttons:
    /// clicked). Throws ControlValueError for a value the control cannot take.
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

protected:
    virtual void onLoad() {}
    virtual void onChange(Control& control) { (void)control; }
    virtual void onClick(Control& control) { (void)control; }
    virtual void onUnload() {}

    std::string& text(const std::string& controlName) { return control(controlName).text; }
    bool checked(const std::string& controlName) const { return control(controlName).checked; }

private:
    void applyDefaults();
    const Control& button(ButtonRole role) const;

    const DialogDecl& decl_;
    std::vector<Control> controls_;
    bool loaded_ = false;
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
