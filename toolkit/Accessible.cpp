#include "Accessible.h"

#include "DateEdit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>

namespace {

// A combo box read as Qt reads it on other desktops: the name says what the list chooses, the
// value is the entry shown. Children, focus and actions are those of Qt's own combo box: the
// list of entries, the editor of an editable box, and the action that opens the list.
class TComboBoxAccessible : public QAccessibleWidget {
public:
    explicit TComboBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    int childCount() const override { return box()->isEditable() ? 2 : 1; }

    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->isEditable())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == box()->view()) return 0;
        if (box()->isEditable() && child->object() == box()->lineEdit()) return 1;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        if (!box()->isEditable()) return nullptr;
        const QPoint at = box()->lineEdit()->mapFromGlobal(QPoint(x, y));
        return box()->lineEdit()->rect().contains(at) ? child(1) : nullptr;
    }

    // The editor of an editable box hands its focus to the box, yet it is where typing goes.
    QAccessibleInterface* focusChild() const override {
        return box()->isEditable() ? child(1) : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return box()->isEditable() ? box()->lineEdit()->text() : box()->currentText();
        QString text = QAccessibleWidget::text(t); // the accessible name, else its label
        if (t == QAccessible::Name && text.isEmpty()) text = box()->currentText();
        return text;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) return;
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

// A date field read as a drop-down field whose text is the date shown ("08.12.26"), with the
// action that opens its calendar. (Read as a spin box, its value would be a number it does not
// have: Qt gives 0 for every date.) The text is that of the field's editor.
class TDateEditAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TDateEditAccessible(TDateEdit* field)
        : QAccessibleWidget(field, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return field()->text();
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) field()->showCalendar();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // The text is the date as shown, one line without blanks: a word, a line and the whole
    // text are the same. It is changed only through the calendar.
    QString text(int start, int end) const override {
        return shown().mid(start, qMax(0, end - start));
    }
    int characterCount() const override { return int(shown().size()); }
    int cursorPosition() const override { return editor()->cursorPosition(); }
    void setCursorPosition(int position) override { editor()->setCursorPosition(position); }
    int selectionCount() const override { return editor()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !editor()->hasSelectedText()) return;
        *start = editor()->selectionStart();
        *end = *start + int(editor()->selectedText().size());
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { editor()->deselect(); }
    void setSelection(int, int start, int end) override {
        editor()->setSelection(start, end - start);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        const int n = characterCount();
        *start = *end = -1;
        if (offset < 0 || offset > n) return {};
        if (type == QAccessible::CharBoundary) {
            if (offset == n) return {};
            *start = offset;
            *end = offset + 1;
        } else {
            *start = 0;
            *end = n;
        }
        return text(*start, *end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        if (type == QAccessible::CharBoundary && offset > 0)
            return textAtOffset(offset - 1, type, start, end);
        *start = *end = -1;
        return {};
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        if (type == QAccessible::CharBoundary && offset + 1 < characterCount())
            return textAtOffset(offset + 1, type, start, end);
        *start = *end = -1;
        return {};
    }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint& point) const override {
        return editor()->cursorPositionAt(editor()->mapFromGlobal(point));
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    TDateEdit* field() const { return static_cast<TDateEdit*>(widget()); }
    QLineEdit* editor() const { return field()->editor(); }
    QString shown() const { return field()->text(); }
};

QAccessibleInterface* ToolkitFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox"))
        if (auto* box = qobject_cast<QComboBox*>(object)) return new TComboBoxAccessible(box);
    if (className == QLatin1String("TDateEdit"))
        if (auto* field = qobject_cast<TDateEdit*>(object)) return new TDateEditAccessible(field);
    return nullptr;
}

// The combo box or date field whose editor this line edit is, if it is one.
QWidget* EditorOwner(const QWidget* control) {
    if (!qobject_cast<const QLineEdit*>(control)) return nullptr;
    QWidget* owner = control->parentWidget();
    if (auto* box = qobject_cast<QComboBox*>(owner); box && box->lineEdit() == control) return box;
    if (qobject_cast<QAbstractSpinBox*>(owner)) return owner;
    return nullptr;
}

// A control placed by a form: it has a designed name. Parts that widgets make for themselves
// (editors, scroll bars, the page control's bar, the parts of a message box) have none, or one
// starting with "qt_".
bool IsFormControl(const QWidget* w) {
    return !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

// Controls whose caption is their name, read by the accessibility layer as it changes.
bool ShowsOwnCaption(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w);
}

bool NeedsName(const QWidget* w, const QWidget* window) {
    if (w->isWindow() || w->window() != window || !w->accessibleName().isEmpty()) return false;
    if (!IsFormControl(w) || ShowsOwnCaption(w)) return false;
    // Group boxes name the controls in them; other containers (pages, frames) are not read.
    return qobject_cast<const QGroupBox*>(w) ||
           (w->focusPolicy() != Qt::NoFocus && !w->focusProxy());
}

// Text of a label as a name: one line, no mnemonic mark, no closing colon.
QString LabelName(const QLabel* label) {
    QString text = WithoutMnemonic(label->text()).simplified();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

QString PageCaption(const QWidget* control) {
    for (const QWidget* w = control; w && !w->isWindow(); w = w->parentWidget()) {
        const QWidget* stack = w->parentWidget();
        if (!qobject_cast<const QStackedWidget*>(stack)) continue;
        if (auto* tabs = qobject_cast<const QTabWidget*>(stack->parentWidget())) {
            const int index = tabs->indexOf(const_cast<QWidget*>(w));
            if (index >= 0) return WithoutMnemonic(tabs->tabText(index));
        }
    }
    return {};
}

} // namespace

QString WithoutMnemonic(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) text += caption[++i];
            continue;
        }
        text += caption[i];
    }
    return text;
}

QString DescriptiveName(const QWidget* control) {
    if (QWidget* owner = EditorOwner(control))
        return owner->accessibleName().isEmpty() ? DescriptiveName(owner) : owner->accessibleName();
    if (auto* group = qobject_cast<const QGroupBox*>(control))
        return WithoutMnemonic(group->title()).simplified();
    const QWidget* window = control->window();
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy() == control) {
            const QString name = LabelName(label);
            if (!name.isEmpty()) return name;
        }
    for (const QWidget* w = control->parentWidget(); w && !w->isWindow(); w = w->parentWidget())
        if (auto* group = qobject_cast<const QGroupBox*>(w); group && !group->title().isEmpty())
            return WithoutMnemonic(group->title()).simplified();
    const QString page = PageCaption(control);
    return page.isEmpty() ? window->windowTitle() : page;
}

void InstallAccessibleInterfaces() {
    QAccessible::installFactory(ToolkitFactory);
}

void GiveAccessibleNames(QWidget* window) {
    InstallAccessibleInterfaces();
    const QList<QWidget*> controls = window->findChildren<QWidget*>();
    // Controls first, then the editors inside them, which take their owner's name.
    for (QWidget* w : controls)
        if (NeedsName(w, window)) w->setAccessibleName(DescriptiveName(w));
    for (QWidget* w : controls)
        if (EditorOwner(w) && w->accessibleName().isEmpty() && w->window() == window)
            w->setAccessibleName(DescriptiveName(w));
}
