#include "apps/qgis/qt_user_interface.h"

#include <qgsstatusbar.h>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qt_dialog.h"

namespace ondu::qgis {

namespace {

QString qtext(const std::string& s) { return QString::fromStdString(s); }

/// How often a run lets the window system draw and deliver input, in milliseconds.
constexpr int kEventInterval = 100;

QMessageBox::StandardButtons buttonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OKCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MsgButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
    }
}

QMessageBox::Icon iconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::NoIcon;
    }
}

MsgAnswer answerOf(int button) {
    switch (button) {
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return MsgAnswer::OK;
    }
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
    }
}

}  // namespace

// ---- status-bar progress -------------------------------------------------------------------

StatusBarProgress::StatusBarProgress(QgsStatusBar* statusBar) : statusBar_(statusBar) {
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("onduProgress"));
    bar_->setMaximumWidth(200);
    bar_->hide();
    if (statusBar_) statusBar_->addPermanentWidget(bar_);
    qApp->installEventFilter(this);
}

StatusBarProgress::~StatusBarProgress() {
    qApp->removeEventFilter(this);
    delete bar_.data();  // taken off the status bar too, when the plugin unloads
}

void StatusBarProgress::show(const std::string& message, long minimum, long maximum, long step) {
    step_ = step;
    cancelRequested_ = false;
    bar_->setRange(static_cast<int>(minimum), static_cast<int>(maximum));
    bar_->setValue(static_cast<int>(minimum));
    bar_->show();
    if (statusBar_) statusBar_->showMessage(qtext(message));
    visible_ = true;
    sinceEvents_.invalidate();
}

void StatusBarProgress::stepIt() {
    bar_->setValue(bar_->value() + static_cast<int>(step_));
    deliverPendingEvents();
}

void StatusBarProgress::hide() {
    bar_->hide();
    if (statusBar_) statusBar_->clearMessage();
    visible_ = false;
}

bool StatusBarProgress::cancelled() {
    deliverPendingEvents();
    return cancelRequested_;
}

void StatusBarProgress::deliverPendingEvents() {
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventInterval) return;
    delivering_ = true;
    QCoreApplication::processEvents();
    delivering_ = false;
    sinceEvents_.start();
}

bool StatusBarProgress::eventFilter(QObject* watched, QEvent* event) {
    if (!delivering_ || !isUserInput(event->type())) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        cancelRequested_ = true;
    return true;  // held back while the run goes on
}

// ---- boxes and windows ---------------------------------------------------------------------

QtUserInterface::QtUserInterface(QWidget* mainWindow, QgsStatusBar* statusBar, QgisEditor* editor)
    : mainWindow_(mainWindow), editor_(editor), progress_(statusBar) {}

MsgAnswer QtUserInterface::messageBox(const std::string& text, const std::string& title,
                                      MsgButtons buttons, MsgIcon icon) {
    if (buttons == MsgButtons::OK && editor_ && !editor_->admitsReport()) return MsgAnswer::OK;
    return showMessageBox(text, title, buttons, icon);
}

MsgAnswer QtUserInterface::showMessageBox(const std::string& text, const std::string& title,
                                          MsgButtons buttons, MsgIcon icon) {
    QMessageBox box(iconOf(icon), qtext(title), qtext(text), buttonsOf(buttons), mainWindow_);
    return answerOf(box.exec());
}

std::optional<std::string> QtUserInterface::inputBox(const std::string& prompt,
                                                     const std::string& title,
                                                     const std::string& defaultText) {
    bool ok = false;
    const QString answer = QInputDialog::getText(mainWindow_, qtext(title), qtext(prompt),
                                                 QLineEdit::Normal, qtext(defaultText), &ok);
    if (!ok) return std::nullopt;
    return answer.toStdString();
}

std::optional<std::string> QtUserInterface::chooseFile(const FileChoice& choice) {
    QString selected;
    const QString filter = qtFileFilter(choice.filter, choice.filterIndex, &selected);
    QFileDialog::Options options;
    if (choice.save && !choice.overwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
    const QString path =
        choice.save
            ? QFileDialog::getSaveFileName(mainWindow_, qtext(choice.title),
                                           qtext(choice.initialPath), filter, &selected, options)
            : QFileDialog::getOpenFileName(mainWindow_, qtext(choice.title),
                                           qtext(choice.initialPath), filter, &selected, options);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

const CommandInfo* QtUserInterface::command() const {
    return editor_ ? editor_->command() : nullptr;
}

void QtUserInterface::showDialog(Dialog& dialog, bool modal) {
    if (!dialog.isLoaded()) return;  // its load closed it already
    if (modal) {
        DialogWindow window(dialog, editor_, command(), mainWindow_);
        window.exec();
        return;
    }
    auto* window = new DialogWindow(dialog, editor_, command(), mainWindow_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

}  // namespace ondu::qgis
