#include "apps/qgis/qt_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qt_user_interface.h"

namespace ondu::qgis {

namespace {

QString qtext(const std::string& s) { return QString::fromStdString(s); }

/// What a check box, option button or button shows: its caption, else its label.
QString captionOf(const Control& c) { return qtext(c.text.empty() ? c.decl->label : c.text); }

bool labelledBeside(ControlKind kind) {
    return kind == ControlKind::List || kind == ControlKind::TextBox ||
           kind == ControlKind::ProgressBar;
}

}  // namespace

QString qtFileFilter(const std::string& filter, int index, QString* selected) {
    QStringList parts = qtext(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) entries << parts[i];
    if (selected && index >= 1 && index <= entries.size()) *selected = entries[index - 1];
    return entries.join(";;");
}

DialogWindow::DialogWindow(Dialog& dialog, QgisEditor* editor, const CommandInfo* command,
                           QWidget* parent)
    : QDialog(parent), dialog_(&dialog), editor_(editor), command_(command) {
    setObjectName(qtext(dialog.name()));
    setWindowTitle(qtext(dialog.caption()));
    build();
    dialog_->setObserver(this);
    for (const auto& c : dialog_->controls()) draw(c);
}

DialogWindow::~DialogWindow() {
    if (dialog_) dialog_->setObserver(nullptr);
}

QWidget* DialogWindow::widget(const std::string& controlName) const {
    auto it = widgets_.find(controlName);
    return it == widgets_.end() ? nullptr : it->second;
}

void DialogWindow::build() {
    auto* main = new QVBoxLayout(this);
    auto* loose = new QFormLayout;
    main->addLayout(loose);
    std::map<std::string, QFormLayout*> frames;
    std::map<std::string, QButtonGroup*> optionGroups;
    auto* buttons = new QDialogButtonBox;
    for (const auto& c : dialog_->controls()) {
        QWidget* w = makeWidget(c);
        widgets_[c.name()] = w;
        if (c.decl->role != ButtonRole::None) {
            buttons->addButton(static_cast<QPushButton*>(w), c.decl->role == ButtonRole::Ok
                                                                 ? QDialogButtonBox::AcceptRole
                                                                 : QDialogButtonBox::RejectRole);
            continue;
        }
        QFormLayout* form = loose;
        if (!c.decl->frame.empty()) {
            auto& frame = frames[c.decl->frame];
            if (!frame) {
                auto* box = new QGroupBox(qtext(c.decl->frame));
                box->setObjectName(qtext(c.decl->frame));
                frame = new QFormLayout(box);
                main->addWidget(box);
            }
            form = frame;
        }
        if (c.kind() == ControlKind::OptionButton) {
            auto& group = optionGroups[c.decl->frame];
            if (!group) group = new QButtonGroup(this);
            group->addButton(static_cast<QRadioButton*>(w));
        }
        if (labelledBeside(c.kind()) && !c.decl->label.empty())
            form->addRow(qtext(c.decl->label), w);
        else
            form->addRow(w);
    }
    main->addWidget(buttons);
}

QWidget* DialogWindow::makeWidget(const Control& c) {
    const std::string name = c.name();
    QWidget* w = nullptr;
    switch (c.kind()) {
        case ControlKind::List: {
            auto* box = new QComboBox;
            // Editable, as the host's drop-down combos are: a list may show a text that is none
            // of its items (a default proposed before its layer is there).
            box->setEditable(true);
            connect(box, qOverload<int>(&QComboBox::activated), this, [this, name, box](int i) {
                fire([this, name,
                      item = box->itemText(i).toStdString()] { dialog_->choose(name, item); },
                     false);
            });
            connect(box->lineEdit(), &QLineEdit::textEdited, this, [this, name](const QString& t) {
                fire([this, name, t] { dialog_->type(name, t.toStdString()); }, false);
            });
            w = box;
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit;
            connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& t) {
                fire([this, name, t] { dialog_->type(name, t.toStdString()); }, false);
            });
            w = edit;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(captionOf(c));
            connect(box, &QCheckBox::clicked, this, [this, name](bool on) {
                fire([this, name, on] { dialog_->setChecked(name, on); }, false);
            });
            w = box;
            break;
        }
        case ControlKind::OptionButton: {
            auto* option = new QRadioButton(captionOf(c));
            connect(option, &QRadioButton::clicked, this,
                    [this, name] { fire([this, name] { dialog_->selectOption(name); }, false); });
            w = option;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(captionOf(c));
            button->setAutoDefault(false);
            const bool isOk = c.decl->role == ButtonRole::Ok;
            connect(button, &QPushButton::clicked, this,
                    [this, name, isOk] { fire([this, name] { dialog_->click(name); }, isOk); });
            w = button;
            break;
        }
        case ControlKind::Label:
            w = new QLabel;
            break;
        case ControlKind::ProgressBar:
            w = new QProgressBar;
            break;
    }
    w->setObjectName(qtext(name));
    if (!c.decl->help.empty()) w->setToolTip(qtext(c.decl->help));
    return w;
}

void DialogWindow::controlChanged(const Dialog&, const Control& control) {
    draw(control);
    // A run's progress shown in the dialog is drawn as it goes.
    if (control.kind() == ControlKind::ProgressBar || control.kind() == ControlKind::Label)
        widget(control.name())->repaint();
}

void DialogWindow::draw(const Control& c) {
    QWidget* w = widget(c.name());
    if (!w) return;
    drawing_ = true;
    const QSignalBlocker quiet(w);
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
    switch (c.kind()) {
        case ControlKind::List: {
            auto* box = static_cast<QComboBox*>(w);
            QStringList items;
            for (const auto& item : c.items) items << qtext(item);
            QStringList shown;
            for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
            if (shown != items) {
                box->clear();
                box->addItems(items);
            }
            box->setCurrentIndex(box->findText(qtext(c.text)));
            box->setEditText(qtext(c.text));
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = static_cast<QLineEdit*>(w);
            if (edit->text() != qtext(c.text)) edit->setText(qtext(c.text));
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Text, c.foreColor == kRed
                                                 ? QColor(Qt::red)
                                                 : QApplication::palette().color(QPalette::Text));
            edit->setPalette(palette);
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
            static_cast<QAbstractButton*>(w)->setChecked(c.checked);
            break;
        case ControlKind::Button:
            static_cast<QPushButton*>(w)->setText(captionOf(c));
            break;
        case ControlKind::Label:
            static_cast<QLabel*>(w)->setText(captionOf(c));
            break;
        case ControlKind::ProgressBar: {
            auto* bar = static_cast<QProgressBar*>(w);
            bar->setRange(static_cast<int>(c.minimum), static_cast<int>(c.maximum));
            bar->setValue(static_cast<int>(c.value));
            break;
        }
    }
    drawing_ = false;
}

void DialogWindow::fire(const std::function<void()>& event, bool isOk) {
    // Events of this window while its own event runs (a click delivered while a run redraws)
    // are dropped rather than run inside it.
    if (drawing_ || busy_ || !dialog_ || !dialog_->isLoaded()) return;
    busy_ = true;
    if (auto* progress = dynamic_cast<StatusBarProgress*>(&userInterface().statusProgress()))
        progress->startCommand();
    {
        std::optional<EditRun> run;
        if (editor_) run.emplace(*editor_, command_);
        event();
        if (run) run->finish(!isOk || !dialog_->isLoaded());
    }
    busy_ = false;
    if (!dialog_->isLoaded()) {
        dialog_->setObserver(nullptr);
        dialog_ = nullptr;  // the unloaded instance is discarded; it is not ours to touch
        QDialog::done(QDialog::Accepted);
    }
}

void DialogWindow::reject() {
    if (!dialog_) return QDialog::reject();
    const ControlDecl* cancel = nullptr;
    for (const auto& c : dialog_->declaration().controls)
        if (c.role == ButtonRole::Cancel) cancel = &c;
    if (cancel)
        fire([this] { dialog_->pressCancel(); }, false);
    else
        fire([this] { dialog_->unload(); }, false);
}

}  // namespace ondu::qgis
