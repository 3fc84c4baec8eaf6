// The history list's pick: its entries offered in the window runtime's pop-up menu.

#include "platform/components/HistoryList.h"
#include "platform/window/WindowServices.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>

namespace pellora::platform {

bool HistoryList::PickInto(QLineEdit& box) {
    QWidget* anchor = QApplication::focusWidget();
    if (anchor == nullptr)
        anchor = &box;
    // The entries are offered by the runtime's pop-up menu; the full text of the one chosen is
    // inserted.
    const QPointer<QLineEdit> target(&box);
    const int index = pickMenus().Pick(anchor, entries_);
    if (index < 0 || index >= entries_.size() || target.isNull())
        return false;
    box.setText(entries_.at(index));
    return true;
}

} // namespace pellora::platform
