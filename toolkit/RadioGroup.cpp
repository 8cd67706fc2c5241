#include "RadioGroup.h"

#include <QGroupBox>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace {

// Item number taken from the object name suffix "_<n>", or -1 when the name has none.
int itemNumber(const QRadioButton* button, const QString& groupName) {
    const QString name = button->objectName();
    const QString prefix = groupName + QLatin1Char('_');
    if (!name.startsWith(prefix)) return -1;
    bool ok = false;
    const int n = name.mid(prefix.size()).toInt(&ok);
    return ok && n >= 0 ? n : -1;
}

// The group's own radio buttons in item order: numbered ones by their number, then any others
// in the order they were created.
std::vector<QRadioButton*> items(const QGroupBox* group) {
    std::vector<QRadioButton*> buttons;
    for (QObject* child : group->children())
        if (auto* b = qobject_cast<QRadioButton*>(child)) buttons.push_back(b);
    const QString groupName = group->objectName();
    std::stable_sort(buttons.begin(), buttons.end(), [&](QRadioButton* a, QRadioButton* b) {
        const int na = itemNumber(a, groupName);
        const int nb = itemNumber(b, groupName);
        if (na < 0 || nb < 0) return na >= 0 && nb < 0;
        return na < nb;
    });
    return buttons;
}

} // namespace

int RadioGroupItemIndex(const QGroupBox* group) {
    if (!group) return -1;
    const auto buttons = items(group);
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void SetRadioGroupItemIndex(QGroupBox* group, int index) {
    if (!group) return;
    const auto buttons = items(group);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QRadioButton* b = buttons[i];
        const bool on = static_cast<int>(i) == index;
        if (b->isChecked() == on) continue;
        // Auto-exclusive buttons refuse to be unchecked directly; lift that for the moment.
        const bool exclusive = b->autoExclusive();
        b->setAutoExclusive(false);
        b->setChecked(on);
        b->setAutoExclusive(exclusive);
    }
}
